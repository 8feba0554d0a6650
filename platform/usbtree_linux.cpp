#include "platform/usbtree.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/sysio.h"

namespace corvana::platform {
namespace {

// The CP210x product ids under Silicon Labs' vendor id (the same list as the udev rule).
constexpr uint16_t kSiliconLabs = 0x10C4;
constexpr uint16_t kCp210xProducts[] = {0xEA60, 0xEA61, 0xEA63, 0xEA70, 0xEA71, 0xEA80};

std::optional<std::string> readAttr(const std::string& path) {
    const int fd = platform::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buf[512];
    for (;;) {
        const ssize_t n = platform::read(fd, buf, sizeof buf);
        if (n < 0) {
            platform::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > 4096)
            break; // sysfs attributes are one page at most
    }
    platform::close(fd);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

std::optional<uint16_t> readHex16(const std::string& path) {
    const auto text = readAttr(path);
    if (!text || text->empty() || text->size() > 4)
        return std::nullopt;
    unsigned v = 0;
    for (const char c : *text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 16 +
            static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                      ? c - '0'
                                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return static_cast<uint16_t>(v);
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return out;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            out.emplace_back(e->d_name);
    }
    ::closedir(d);
    return out;
}

bool isDir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isTtyUsb(const std::string& name) {
    if (name.size() < 7 || name.size() > 12 || name.compare(0, 6, "ttyUSB") != 0)
        return false;
    return std::all_of(name.begin() + 6, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// "1-2" before "1-10": runs of digits compare by value.
bool busOrder(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            const unsigned long long va = std::strtoull(a.substr(i, ei - i).c_str(), nullptr, 10);
            const unsigned long long vb = std::strtoull(b.substr(j, ej - j).c_str(), nullptr, 10);
            if (va != vb)
                return va < vb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

UsbInterface readInterface(const std::string& dir) {
    UsbInterface itf;
    if (const auto n = readHex16(dir + "/bInterfaceNumber"))
        itf.number = *n;
    char link[4096];
    const ssize_t len = ::readlink((dir + "/driver").c_str(), link, sizeof link - 1);
    if (len > 0) {
        std::string target(link, static_cast<size_t>(len));
        const auto slash = target.rfind('/');
        itf.driver = slash == std::string::npos ? target : target.substr(slash + 1);
    }
    for (const auto& e : entries(dir)) {
        if (isTtyUsb(e)) {
            itf.tty = e;
            break;
        }
    }
    if (itf.tty.empty()) {
        for (const auto& e : entries(dir + "/tty"))
            if (isTtyUsb(e)) {
                itf.tty = e;
                break;
            }
    }
    return itf;
}

std::vector<UsbDevice> bridges() {
    std::vector<UsbDevice> out;
    for (auto& d : listUsbDevices())
        if (isCp210xBridge(d))
            out.push_back(std::move(d));
    return out;
}

// Open handles of the library stand-in: each names the device directory it was opened on.
std::mutex handlesMutex;
std::map<CP210x_HANDLE, std::string> handles;
CP210x_HANDLE nextHandle = 1;

std::optional<std::string> handleDir(CP210x_HANDLE h) {
    std::lock_guard lock(handlesMutex);
    const auto it = handles.find(h);
    if (it == handles.end())
        return std::nullopt;
    return it->second;
}

} // namespace

std::string usbDevicesRoot() {
    const char* root = std::getenv("CORVANA_USB_DEVICES_ROOT");
    return root && *root ? root : "/sys/bus/usb/devices";
}

std::string bridgeLookupNote() {
    return "looked in " + usbDevicesRoot();
}

std::vector<UsbDevice> listUsbDevices() {
    const std::string root = usbDevicesRoot();
    std::vector<std::string> names;
    for (auto& e : entries(root)) {
        if (e.find(':') != std::string::npos || e.compare(0, 3, "usb") == 0)
            continue; // interfaces and root hubs
        names.push_back(std::move(e));
    }
    std::sort(names.begin(), names.end(), busOrder);
    std::vector<UsbDevice> out;
    for (const auto& name : names) {
        UsbDevice d;
        d.name = name;
        d.dir = root + "/" + name;
        if (!isDir(d.dir))
            continue;
        d.vendorId = readHex16(d.dir + "/idVendor");
        d.productId = readHex16(d.dir + "/idProduct");
        d.serial = readAttr(d.dir + "/serial");
        d.product = readAttr(d.dir + "/product");
        auto sub = entries(d.dir);
        std::sort(sub.begin(), sub.end(), busOrder);
        for (const auto& e : sub)
            if (e.compare(0, name.size() + 1, name + ":") == 0 && isDir(d.dir + "/" + e))
                d.interfaces.push_back(readInterface(d.dir + "/" + e));
        out.push_back(std::move(d));
    }
    return out;
}

bool isCp210xBridge(const UsbDevice& d) {
    if (d.vendorId == kSiliconLabs && d.productId &&
        std::find(std::begin(kCp210xProducts), std::end(kCp210xProducts), *d.productId) !=
            std::end(kCp210xProducts))
        return true;
    return std::any_of(d.interfaces.begin(), d.interfaces.end(),
                       [](const UsbInterface& i) { return i.driver == "cp210x"; });
}

CP210x_STATUS CP210x_GetNumDevices(uint32_t* numDevices) {
    if (!numDevices)
        return CP210x_INVALID_PARAMETER;
    *numDevices = 0;
    if (!isDir(usbDevicesRoot()))
        return CP210x_DEVICE_IO_FAILED;
    *numDevices = static_cast<uint32_t>(bridges().size());
    return CP210x_SUCCESS;
}

CP210x_STATUS CP210x_GetProductString(uint32_t deviceNum, void* buffer, uint32_t) {
    if (!buffer)
        return CP210x_INVALID_PARAMETER;
    const auto list = bridges();
    if (deviceNum >= list.size())
        return CP210x_DEVICE_NOT_FOUND;
    const auto& product = list[deviceNum].product;
    if (!product)
        return CP210x_DEVICE_IO_FAILED;
    const size_t n = std::min(product->size(), CP210x_MAX_STRING - 1);
    std::memcpy(buffer, product->data(), n);
    static_cast<char*>(buffer)[n] = 0;
    return CP210x_SUCCESS;
}

CP210x_STATUS CP210x_Open(uint32_t deviceNum, CP210x_HANDLE* handle) {
    if (!handle)
        return CP210x_INVALID_PARAMETER;
    const auto list = bridges();
    if (deviceNum >= list.size())
        return CP210x_DEVICE_NOT_FOUND;
    std::lock_guard lock(handlesMutex);
    *handle = nextHandle++;
    handles[*handle] = list[deviceNum].dir;
    return CP210x_SUCCESS;
}

CP210x_STATUS CP210x_GetDeviceVid(CP210x_HANDLE handle, uint16_t* vid) {
    const auto dir = handleDir(handle);
    if (!dir)
        return CP210x_INVALID_HANDLE;
    if (!vid)
        return CP210x_INVALID_PARAMETER;
    const auto v = readHex16(*dir + "/idVendor");
    if (!v)
        return CP210x_DEVICE_IO_FAILED;
    *vid = *v;
    return CP210x_SUCCESS;
}

CP210x_STATUS CP210x_GetDevicePid(CP210x_HANDLE handle, uint16_t* pid) {
    const auto dir = handleDir(handle);
    if (!dir)
        return CP210x_INVALID_HANDLE;
    if (!pid)
        return CP210x_INVALID_PARAMETER;
    const auto v = readHex16(*dir + "/idProduct");
    if (!v)
        return CP210x_DEVICE_IO_FAILED;
    *pid = *v;
    return CP210x_SUCCESS;
}

CP210x_STATUS CP210x_GetDeviceSerialNumber(CP210x_HANDLE handle, void* buffer, uint8_t* length,
                                           bool) {
    const auto dir = handleDir(handle);
    if (!dir)
        return CP210x_INVALID_HANDLE;
    if (!buffer || !length)
        return CP210x_INVALID_PARAMETER;
    const auto serial = readAttr(*dir + "/serial");
    if (!serial)
        return CP210x_DEVICE_IO_FAILED;
    const size_t n = std::min(serial->size(), CP210x_MAX_STRING - 1);
    std::memcpy(buffer, serial->data(), n);
    *length = static_cast<uint8_t>(n);
    return CP210x_SUCCESS;
}

CP210x_STATUS CP210x_Close(CP210x_HANDLE handle) {
    std::lock_guard lock(handlesMutex);
    return handles.erase(handle) ? CP210x_SUCCESS : CP210x_INVALID_HANDLE;
}

} // namespace corvana::platform
