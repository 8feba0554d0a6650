#include "util/version.h"

#include "platform/versioninfo.h"

namespace corvana {

std::string GetFileVersionString(const std::string& path) {
    const auto ffi = platform::readFixedFileInfo(path);
    if (!ffi)
        return "Nix eingetragen";
    return std::to_string(ffi->dwFileVersionMS >> 16) + "." +
           std::to_string(ffi->dwFileVersionMS & 0xFFFF) + "." +
           std::to_string(ffi->dwFileVersionLS >> 16) + "." +
           std::to_string(ffi->dwFileVersionLS & 0xFFFF);
}

} // namespace corvana
