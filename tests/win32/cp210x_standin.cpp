// A stand-in for the bridge vendor's CP210xManufacturing.dll, for the Windows tests: it reports
// the bridges that CORVANA_STANDIN_BRIDGES lists, ";" between bridges, each
// "vid:pid:serial:product[:step]" with the ids in hexadecimal; a step ("open", "vid", "pid",
// "serial") makes that call fail for the bridge. Without the variable no bridge is attached.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Bridge {
    WORD vid = 0, pid = 0;
    std::string serial, product, failing;
};

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        out.push_back(s.substr(start, at - start));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

// Read anew on every call, as unplugging and plugging change it between discoveries.
std::vector<Bridge> bridges() {
    std::vector<Bridge> out;
    const char* env = std::getenv("CORVANA_STANDIN_BRIDGES");
    if (!env || !*env)
        return out;
    for (const auto& item : split(env, ';')) {
        const auto f = split(item, ':');
        if (f.size() < 4)
            continue;
        Bridge b;
        b.vid = static_cast<WORD>(std::strtoul(f[0].c_str(), nullptr, 16));
        b.pid = static_cast<WORD>(std::strtoul(f[1].c_str(), nullptr, 16));
        b.serial = f[2];
        b.product = f[3];
        if (f.size() > 4)
            b.failing = f[4];
        out.push_back(b);
    }
    return out;
}

constexpr int kSuccess = 0x00, kInvalidHandle = 0x01, kIoFailed = 0x03, kNotFound = 0xFF;

// Handles are the bridge's number plus one.
const Bridge* byHandle(HANDLE h, std::vector<Bridge>& list) {
    const auto i = reinterpret_cast<uintptr_t>(h);
    return i >= 1 && i <= list.size() ? &list[i - 1] : nullptr;
}

} // namespace

extern "C" {

__declspec(dllexport) int WINAPI CP210x_GetNumDevices(LPDWORD n) {
    *n = static_cast<DWORD>(bridges().size());
    return kSuccess;
}

__declspec(dllexport) int WINAPI CP210x_GetProductString(DWORD dev, LPVOID buf, DWORD) {
    const auto list = bridges();
    if (dev >= list.size())
        return kNotFound;
    std::strncpy(static_cast<char*>(buf), list[dev].product.c_str(), 255);
    static_cast<char*>(buf)[255] = 0;
    return kSuccess;
}

__declspec(dllexport) int WINAPI CP210x_Open(DWORD dev, HANDLE* h) {
    const auto list = bridges();
    if (dev >= list.size())
        return kNotFound;
    if (list[dev].failing == "open")
        return kIoFailed;
    *h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(dev) + 1);
    return kSuccess;
}

__declspec(dllexport) int WINAPI CP210x_GetDeviceVid(HANDLE h, LPWORD vid) {
    auto list = bridges();
    const Bridge* b = byHandle(h, list);
    if (!b)
        return kInvalidHandle;
    if (b->failing == "vid")
        return kIoFailed;
    *vid = b->vid;
    return kSuccess;
}

__declspec(dllexport) int WINAPI CP210x_GetDevicePid(HANDLE h, LPWORD pid) {
    auto list = bridges();
    const Bridge* b = byHandle(h, list);
    if (!b)
        return kInvalidHandle;
    if (b->failing == "pid")
        return kIoFailed;
    *pid = b->pid;
    return kSuccess;
}

__declspec(dllexport) int WINAPI
    CP210x_GetDeviceSerialNumber(HANDLE h, LPVOID buf, LPBYTE len, BOOL) {
    auto list = bridges();
    const Bridge* b = byHandle(h, list);
    if (!b)
        return kInvalidHandle;
    if (b->failing == "serial")
        return kIoFailed;
    const size_t n = b->serial.size() > 255 ? 255 : b->serial.size();
    std::memcpy(buf, b->serial.data(), n);
    *len = static_cast<BYTE>(n);
    return kSuccess;
}

__declspec(dllexport) int WINAPI CP210x_Close(HANDLE h) {
    auto list = bridges();
    return byHandle(h, list) ? kSuccess : kInvalidHandle;
}

} // extern "C"
