// The executable's version resource. Linked as an object so the section is never dropped;
// the numbers come from the build (CORVANA_FILEVERSION_*), so fixtures can carry others.
#include "platform/versioninfo.h"

#ifndef CORVANA_FILEVERSION_MAJOR
#define CORVANA_FILEVERSION_MAJOR 2
#define CORVANA_FILEVERSION_MINOR 2
#define CORVANA_FILEVERSION_RELEASE 0
#define CORVANA_FILEVERSION_BUILD 3
#define CORVANA_FILEVERSION_TEXT "2.2.0.3"
#endif

namespace {
constexpr uint32_t hilo(uint32_t hi, uint32_t lo) {
    return (hi << 16) | (lo & 0xFFFF);
}
} // namespace

extern "C" __attribute__((used, section(".corvana_version")))
const corvana::platform::VersionResource corvana_version_resource = {
    {corvana::platform::kFixedFileInfoSignature, 0x00010000,
     hilo(CORVANA_FILEVERSION_MAJOR, CORVANA_FILEVERSION_MINOR),
     hilo(CORVANA_FILEVERSION_RELEASE, CORVANA_FILEVERSION_BUILD), hilo(2, 0), hilo(0, 0), 0x3F, 0,
     0x00040004 /* VOS_NT_WINDOWS32 */, 1 /* VFT_APP */, 0, 0, 0},
    1031,
    CORVANA_FILEVERSION_TEXT,
    "2.0.0.0",
};
