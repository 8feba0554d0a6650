#pragma once
// The version resource of an executable. On Linux it lives in an ELF section of its own,
// ".corvana_version", holding the Windows fixed file information and the two version strings;
// on Windows it is the executable's resource (versioninfo_win32.cpp).

#include <cstdint>
#include <optional>
#include <string>

namespace corvana::platform {

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr const char* kVersionSection = ".corvana_version";

// VS_FIXEDFILEINFO, field for field.
struct FixedFileInfo {
    uint32_t dwSignature;
    uint32_t dwStrucVersion;
    uint32_t dwFileVersionMS;
    uint32_t dwFileVersionLS;
    uint32_t dwProductVersionMS;
    uint32_t dwProductVersionLS;
    uint32_t dwFileFlagsMask;
    uint32_t dwFileFlags;
    uint32_t dwFileOS;
    uint32_t dwFileType;
    uint32_t dwFileSubtype;
    uint32_t dwFileDateMS;
    uint32_t dwFileDateLS;
};

// What the section holds: the fixed information, the language and the string table entries
// the tool fills (the others stay empty).
struct VersionResource {
    FixedFileInfo fixed;
    uint16_t language;
    char fileVersion[24];
    char productVersion[24];
};

// Reads the fixed file information of `path`; nothing for a missing file, a file that is
// not ELF, or one without a valid version section.
std::optional<FixedFileInfo> readFixedFileInfo(const std::string& path);

// The file of the running program, for reading its own version; "" when it cannot be told.
std::string runningExecutablePath();

} // namespace corvana::platform
