#include "tools/remotesim/fakeusbtree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace corvana::sim {
namespace fs = std::filesystem;

namespace {

void writeAttr(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text << '\n';
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
}

std::string hex4(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v);
    return buf;
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

} // namespace

FakeUsbTree::FakeUsbTree(std::string dir) : dir_(std::move(dir)) {
    fs::create_directories(usbDevicesRoot());
    fs::create_directories(devRoot());
    fs::create_directories(dir_ + "/sys/bus/usb-serial/drivers");
    dir_ = fs::canonical(dir_).string();
}

void FakeUsbTree::add(const FakeBridge& b) {
    remove(b.busPath);
    const fs::path dev = fs::path(usbDevicesRoot()) / b.busPath;
    fs::create_directories(dev);
    if (b.vendorId)
        writeAttr(dev / "idVendor", hex4(*b.vendorId));
    if (b.productId)
        writeAttr(dev / "idProduct", hex4(*b.productId));
    if (b.serial)
        writeAttr(dev / "serial", *b.serial);
    if (b.product)
        writeAttr(dev / "product", *b.product);
    writeAttr(dev / "manufacturer", "Silicon Labs");
    writeAttr(dev / "busnum", "1");

    const fs::path itf = dev / (b.busPath + ":1." + std::to_string(b.interfaceNumber));
    const std::string tty = "ttyUSB" + std::to_string(b.ttyIndex);
    fs::create_directories(itf / tty);
    char num[8];
    std::snprintf(num, sizeof num, "%02x", b.interfaceNumber);
    writeAttr(itf / "bInterfaceNumber", num);
    if (!b.driver.empty()) {
        const fs::path driverDir = fs::path(dir_) / "sys/bus/usb-serial/drivers" / b.driver;
        fs::create_directories(driverDir);
        fs::create_directory_symlink(driverDir, itf / "driver");
    }
    if (!b.ttyTarget.empty())
        fs::create_symlink(b.ttyTarget, fs::path(devRoot()) / tty);
    bridges_.push_back(b);
}

void FakeUsbTree::remove(const std::string& busPath) {
    for (auto it = bridges_.begin(); it != bridges_.end(); ++it) {
        if (it->busPath != busPath)
            continue;
        std::error_code ec;
        fs::remove_all(fs::path(usbDevicesRoot()) / busPath, ec);
        if (!it->ttyTarget.empty())
            fs::remove(fs::path(devRoot()) / ("ttyUSB" + std::to_string(it->ttyIndex)), ec);
        bridges_.erase(it);
        return;
    }
}

std::string FakeUsbTree::envExports() const {
    return "export CORVANA_USB_DEVICES_ROOT=" + quoted(usbDevicesRoot()) +
           "\nexport CORVANA_DEV_ROOT=" + quoted(devRoot()) + "\n";
}

void FakeUsbTree::applyEnv() const {
    ::setenv("CORVANA_USB_DEVICES_ROOT", usbDevicesRoot().c_str(), 1);
    ::setenv("CORVANA_DEV_ROOT", devRoot().c_str(), 1);
}

} // namespace corvana::sim
