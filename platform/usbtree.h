#pragma once
// The USB device tree (sysfs) and, on top of it, the calls of the CP210x bridge vendor's
// manufacturing library that the bridge discovery makes. The tree's root is
// $CORVANA_USB_DEVICES_ROOT (default /sys/bus/usb/devices), so tests and the demo can use a
// fake tree whose tty is a pseudo-terminal.
//
// Fake trees follow the sysfs layout: one directory per device (named like "1-1.2") holding
// the text files idVendor, idProduct (hexadecimal), serial, product, and one subdirectory per
// interface ("1-1.2:1.0") holding bInterfaceNumber, a "driver" link and the usb-serial port
// directory ("ttyUSB0", or "tty/ttyUSB0"). Each file's trailing newline is not part of it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvana::platform {

std::string usbDevicesRoot();

struct UsbInterface {
    int number = -1;
    std::string driver; // the driver link's last component, empty when unbound
    std::string tty;    // "ttyUSB0", empty when the interface has no serial port
};

struct UsbDevice {
    std::string name; // bus path, e.g. "1-1.2"
    std::string dir;  // its directory in the tree
    std::optional<uint16_t> vendorId;
    std::optional<uint16_t> productId;
    std::optional<std::string> serial;
    std::optional<std::string> product;
    std::vector<UsbInterface> interfaces;
};

// Every device of the tree (no interfaces, no root hubs), in bus order: by the numbers of the
// bus path, so "1-2" comes before "1-10". Reads the tree anew on every call.
std::vector<UsbDevice> listUsbDevices();

// A CP210x bridge: Silicon Labs' vendor id with one of the CP210x product ids, or any device
// that the cp210x driver has bound.
bool isCp210xBridge(const UsbDevice& d);

// ---- The manufacturing library's calls, for the attached CP210x bridges in bus order. ----

using CP210x_STATUS = int;
using CP210x_HANDLE = int;
inline constexpr CP210x_STATUS CP210x_SUCCESS = 0x00;
inline constexpr CP210x_STATUS CP210x_INVALID_HANDLE = 0x01;
inline constexpr CP210x_STATUS CP210x_INVALID_PARAMETER = 0x02;
inline constexpr CP210x_STATUS CP210x_DEVICE_IO_FAILED = 0x03;
inline constexpr CP210x_STATUS CP210x_DEVICE_NOT_FOUND = 0xFF;

// Buffers handed to the string calls must hold this many bytes; a string fills at most all
// but the last, which is always left for a terminating zero.
inline constexpr size_t CP210x_MAX_STRING = 256;

CP210x_STATUS CP210x_GetNumDevices(uint32_t* numDevices);
// The product string of bridge `deviceNum`, zero-terminated; the options are accepted and
// have no effect here. The buffer is left alone when the call fails.
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

} // namespace corvana::platform
