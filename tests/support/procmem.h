#pragma once
// The process's resident memory, for tests that show an operation stays within a bound:
// the peak is reset, the operation runs, and the new peak tells how far it grew meanwhile.
#include <fstream>
#include <string>

namespace corvana::test {

// kB of one field of /proc/self/status ("VmRSS:", "VmHWM:"); -1 when absent.
inline long procStatusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    return -1;
}

// Sets the peak (VmHWM) to the present size; false where the kernel does not allow it.
inline bool resetPeakRss() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.close();
    return static_cast<bool>(out) && procStatusKb("VmHWM:") <= procStatusKb("VmRSS:") + 1024;
}

// AddressSanitizer keeps freed memory in quarantine, so resident size says nothing there
// about what a client still holds.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kMemoryMeasurable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kMemoryMeasurable = false;
#else
inline constexpr bool kMemoryMeasurable = true;
#endif
#else
inline constexpr bool kMemoryMeasurable = true;
#endif

} // namespace corvana::test
