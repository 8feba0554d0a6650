#pragma once
// The calls of the CP210x bridge vendor's manufacturing library (CP210xManufacturing.dll)
// that the bridge discovery makes, for the attached bridges in a stable order. On Windows
// they go to the vendor's library, loaded at the first call (cp210x_win32.cpp); where it is
// missing, no bridge is attached and the product string says why. On Linux the USB device
// tree answers them (usbtree_linux.cpp).

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvana::platform {

using CP210x_STATUS = int;
using CP210x_HANDLE = std::intptr_t; // the library's HANDLE
inline constexpr CP210x_STATUS CP210x_SUCCESS = 0x00;
inline constexpr CP210x_STATUS CP210x_INVALID_HANDLE = 0x01;
inline constexpr CP210x_STATUS CP210x_INVALID_PARAMETER = 0x02;
inline constexpr CP210x_STATUS CP210x_DEVICE_IO_FAILED = 0x03;
inline constexpr CP210x_STATUS CP210x_DEVICE_NOT_FOUND = 0xFF;

// Buffers handed to the string calls must hold this many bytes; a string fills at most all
// but the last, which is always left for a terminating zero.
inline constexpr size_t CP210x_MAX_STRING = 256;

CP210x_STATUS CP210x_GetNumDevices(uint32_t* numDevices);
// The product string of bridge `deviceNum`, zero-terminated (the Linux stand-in ignores the
// options). The buffer is left alone when the call fails, except on Windows when the library
// is missing: then it says why.
CP210x_STATUS CP210x_GetProductString(uint32_t deviceNum, void* buffer, uint32_t options);
// Opens bridge `deviceNum`; the handle stays valid until CP210x_Close.
CP210x_STATUS CP210x_Open(uint32_t deviceNum, CP210x_HANDLE* handle);
CP210x_STATUS CP210x_GetDeviceVid(CP210x_HANDLE handle, uint16_t* vid);
CP210x_STATUS CP210x_GetDevicePid(CP210x_HANDLE handle, uint16_t* pid);
// The serial number's characters at the start of `buffer` (not zero-terminated), their count
// in `length`. Neither is touched when the call fails.
CP210x_STATUS CP210x_GetDeviceSerialNumber(CP210x_HANDLE handle, void* buffer, uint8_t* length,
                                           bool convertToAscii);
CP210x_STATUS CP210x_Close(CP210x_HANDLE handle);

// Where the calls above look for bridges, for the message that none is attached: "looked in"
// the USB device tree on Linux; on Windows the vendor library that was asked, or why it could
// not be loaded.
std::string bridgeLookupNote();

} // namespace corvana::platform
