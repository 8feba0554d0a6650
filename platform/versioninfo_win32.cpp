// The version resource as Windows keeps it: read with GetFileVersionInfoSizeA,
// GetFileVersionInfoA and VerQueryValueA.
#include "platform/versioninfo.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace corvana::platform {

std::optional<FixedFileInfo> readFixedFileInfo(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> buffer(size);
    // A size of 0 (no resource, no file) makes the read fail as well.
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, buffer.data()))
        return std::nullopt;
    void* block = nullptr;
    UINT length = 0;
    // The empty sub-block path names the root block, as "\" does.
    char root[] = "";
    if (!::VerQueryValueA(buffer.data(), root, &block, &length) || !block ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    static_assert(sizeof(FixedFileInfo) == sizeof(VS_FIXEDFILEINFO));
    FixedFileInfo ffi;
    std::memcpy(&ffi, block, sizeof ffi);
    return ffi;
}

std::string runningExecutablePath() {
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::string(path, n);
}

} // namespace corvana::platform
