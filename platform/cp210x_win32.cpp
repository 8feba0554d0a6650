// The bridge vendor's manufacturing library, loaded at run time: a machine without it (no
// cable driver installed) still runs the tool, and its discoveries find no bridge. The reason
// goes into the product string, which the wizard's log shows.
#include "platform/cp210x.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace corvana::platform {
namespace {

constexpr const char* kLibrary = "CP210xManufacturing.dll";

using GetNumDevicesFn = CP210x_STATUS(WINAPI*)(LPDWORD);
using GetProductStringFn = CP210x_STATUS(WINAPI*)(DWORD, LPVOID, DWORD);
using OpenFn = CP210x_STATUS(WINAPI*)(DWORD, HANDLE*);
using GetIdFn = CP210x_STATUS(WINAPI*)(HANDLE, LPWORD);
using GetSerialFn = CP210x_STATUS(WINAPI*)(HANDLE, LPVOID, LPBYTE, BOOL);
using CloseFn = CP210x_STATUS(WINAPI*)(HANDLE);

struct Library {
    HMODULE module = nullptr;
    GetNumDevicesFn getNumDevices = nullptr;
    GetProductStringFn getProductString = nullptr;
    OpenFn open = nullptr;
    GetIdFn getVid = nullptr;
    GetIdFn getPid = nullptr;
    GetSerialFn getSerial = nullptr;
    CloseFn close = nullptr;
    std::string why; // why it is not there
};

template <typename F> bool bind(HMODULE m, const char* name, F& fn) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m, name)));
    return fn != nullptr;
}

// Loaded at the first discovery that finds it, and kept; while it is missing every discovery
// looks again, so a driver installed meanwhile is found without a restart. Searched in the
// program's folder and the system folders only, never in the current directory.
const Library& library() {
    static std::mutex m;
    static Library lib;
    std::lock_guard lock(m);
    if (lib.module)
        return lib;
    const HMODULE mod = ::LoadLibraryExA(kLibrary, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!mod) {
        lib.why = std::string(kLibrary) + " nicht geladen (Fehler " +
                  std::to_string(::GetLastError()) + ")";
        return lib;
    }
    Library found;
    found.module = mod;
    const char* missing = nullptr;
    if (!bind(mod, "CP210x_GetNumDevices", found.getNumDevices))
        missing = "CP210x_GetNumDevices";
    else if (!bind(mod, "CP210x_GetProductString", found.getProductString))
        missing = "CP210x_GetProductString";
    else if (!bind(mod, "CP210x_Open", found.open))
        missing = "CP210x_Open";
    else if (!bind(mod, "CP210x_GetDeviceVid", found.getVid))
        missing = "CP210x_GetDeviceVid";
    else if (!bind(mod, "CP210x_GetDevicePid", found.getPid))
        missing = "CP210x_GetDevicePid";
    else if (!bind(mod, "CP210x_GetDeviceSerialNumber", found.getSerial))
        missing = "CP210x_GetDeviceSerialNumber";
    else if (!bind(mod, "CP210x_Close", found.close))
        missing = "CP210x_Close";
    if (missing) {
        ::FreeLibrary(mod);
        lib.why = std::string(kLibrary) + " ohne " + missing;
        return lib;
    }
    lib = found;
    return lib;
}

HANDLE toHandle(CP210x_HANDLE h) {
    return reinterpret_cast<HANDLE>(h);
}

} // namespace

std::string bridgeLookupNote() {
    const Library& lib = library();
    if (!lib.module)
        return lib.why;
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(lib.module, path, MAX_PATH);
    return "asked " + (n > 0 && n < MAX_PATH ? std::string(path, n) : std::string(kLibrary));
}

CP210x_STATUS CP210x_GetNumDevices(uint32_t* numDevices) {
    if (!numDevices)
        return CP210x_INVALID_PARAMETER;
    *numDevices = 0;
    const Library& lib = library();
    if (!lib.module)
        return CP210x_DEVICE_NOT_FOUND;
    DWORD n = 0;
    const CP210x_STATUS s = lib.getNumDevices(&n);
    *numDevices = n;
    return s;
}

CP210x_STATUS CP210x_GetProductString(uint32_t deviceNum, void* buffer, uint32_t options) {
    if (!buffer)
        return CP210x_INVALID_PARAMETER;
    const Library& lib = library();
    if (!lib.module) {
        const size_t n = std::min(lib.why.size(), CP210x_MAX_STRING - 1);
        std::memcpy(buffer, lib.why.data(), n);
        static_cast<char*>(buffer)[n] = 0;
        return CP210x_DEVICE_NOT_FOUND;
    }
    return lib.getProductString(deviceNum, buffer, options);
}

CP210x_STATUS CP210x_Open(uint32_t deviceNum, CP210x_HANDLE* handle) {
    if (!handle)
        return CP210x_INVALID_PARAMETER;
    const Library& lib = library();
    if (!lib.module)
        return CP210x_DEVICE_NOT_FOUND;
    HANDLE h = nullptr;
    const CP210x_STATUS s = lib.open(deviceNum, &h);
    *handle = reinterpret_cast<CP210x_HANDLE>(h);
    return s;
}

CP210x_STATUS CP210x_GetDeviceVid(CP210x_HANDLE handle, uint16_t* vid) {
    const Library& lib = library();
    if (!lib.module)
        return CP210x_INVALID_HANDLE;
    WORD v = 0;
    const CP210x_STATUS s = lib.getVid(toHandle(handle), &v);
    if (vid && s == CP210x_SUCCESS)
        *vid = v;
    return s;
}

CP210x_STATUS CP210x_GetDevicePid(CP210x_HANDLE handle, uint16_t* pid) {
    const Library& lib = library();
    if (!lib.module)
        return CP210x_INVALID_HANDLE;
    WORD v = 0;
    const CP210x_STATUS s = lib.getPid(toHandle(handle), &v);
    if (pid && s == CP210x_SUCCESS)
        *pid = v;
    return s;
}

CP210x_STATUS CP210x_GetDeviceSerialNumber(CP210x_HANDLE handle, void* buffer, uint8_t* length,
                                           bool convertToAscii) {
    const Library& lib = library();
    if (!lib.module)
        return CP210x_INVALID_HANDLE;
    if (!buffer || !length)
        return CP210x_INVALID_PARAMETER;
    BYTE n = 0;
    const CP210x_STATUS s = lib.getSerial(toHandle(handle), buffer, &n, convertToAscii);
    if (s == CP210x_SUCCESS)
        *length = n;
    return s;
}

CP210x_STATUS CP210x_Close(CP210x_HANDLE handle) {
    const Library& lib = library();
    if (!lib.module)
        return CP210x_INVALID_HANDLE;
    return lib.close(toHandle(handle));
}

} // namespace corvana::platform
