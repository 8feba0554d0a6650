#pragma once
// A fake USB device tree in the layout of sysfs, and a fake /dev beside it, for tests and the
// demo: point CORVANA_USB_DEVICES_ROOT and CORVANA_DEV_ROOT at usbDevicesRoot() and devRoot().

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvana::sim {

struct FakeBridge {
    std::string busPath = "1-1";
    std::optional<uint16_t> vendorId = 0x10C4; // nullopt: no idVendor file (unreadable)
    std::optional<uint16_t> productId = 0xEA60;
    std::optional<std::string> serial = "0001"; // nullopt: no serial file
    std::optional<std::string> product = "CP2102 USB to UART Bridge Controller";
    std::string driver = "cp210x"; // the interface's driver; empty: unbound
    int interfaceNumber = 0;
    int ttyIndex = 0;      // its port is ttyUSB<ttyIndex>, i.e. COM<ttyIndex + 1>
    std::string ttyTarget; // what <dev>/ttyUSB<ttyIndex> links to; empty: no device node
};

class FakeUsbTree {
public:
    // Creates <dir>/sys/bus/usb/devices and <dir>/dev (and `dir` itself) as needed.
    explicit FakeUsbTree(std::string dir);

    const std::string& dir() const { return dir_; }
    std::string usbDevicesRoot() const { return dir_ + "/sys/bus/usb/devices"; }
    std::string devRoot() const { return dir_ + "/dev"; }

    // Plugs a bridge in; an earlier one with the same bus path is replaced.
    void add(const FakeBridge& bridge);
    // Unplugs it: its directory and its device node go.
    void remove(const std::string& busPath);
    const std::vector<FakeBridge>& bridges() const { return bridges_; }

    // "export CORVANA_USB_DEVICES_ROOT='...'" and the same for CORVANA_DEV_ROOT, one a line.
    std::string envExports() const;
    // Sets both variables in this process.
    void applyEnv() const;

private:
    std::string dir_;
    std::vector<FakeBridge> bridges_;
};

} // namespace corvana::sim
