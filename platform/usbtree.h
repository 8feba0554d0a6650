#pragma once
// The USB device tree (sysfs), on which Linux answers the calls of the CP210x bridge vendor's
// manufacturing library (platform/cp210x.h) for the attached bridges. The tree's root is
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

#include "platform/cp210x.h"

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

} // namespace corvana::platform
