#include "device/bridgediscovery.h"

#include <climits>
#include <cstring>

#include "device/linkobserver.h"
#include "platform/cp210x.h"
#include "util/errors.h"
#include "util/registry.h"
#include "util/textpos.h"

namespace corvana::device {
namespace {

using namespace platform;

// The run-time library's decimal conversion: optional blanks and sign, digits, 32 bits.
int StrToInt(const std::string& text) {
    const auto bad = [&]() -> int {
        throw EConvertError("'" + text + "' ist kein gültiger Integerwert");
    };
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return bad();
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return bad();
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return bad();
    }
    if (negative)
        v = -v;
    if (v > INT_MAX || v < INT_MIN)
        return bad();
    return static_cast<int>(v);
}

std::string lowerHex(int value) {
    static constexpr char digits[] = "0123456789abcdef";
    auto v = static_cast<uint32_t>(value);
    std::string out;
    do {
        out.insert(out.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v);
    return out;
}

// Leading and trailing characters at or below the blank removed.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

} // namespace

void BridgeDiscovery::log(const std::string& line) {
    if (log_)
        log_->Add(line);
    if (observer)
        observer->DiscoveryLine(line);
}

std::string BridgeDiscovery::converttostring(const unsigned char* buffer, int length) {
    if (!buffer || length <= 0)
        return {};
    return std::string(reinterpret_cast<const char*>(buffer),
                       static_cast<size_t>(length > 256 ? 256 : length));
}

std::string BridgeDiscovery::DevicePart(int vendorId, int productId,
                                        const std::string& serialText) {
    return Trim("Vid_" + lowerHex(vendorId) + "&Pid_" + lowerHex(productId) + "&Mi_00\\" +
                serialText) +
           "_00";
}

std::string BridgeDiscovery::KeyPath(const std::string& devicePart) {
    return "SYSTEM\\CurrentControlSet\\Enum\\USB\\" + devicePart + "\\Device Parameters";
}

int BridgeDiscovery::PortNumber(const std::string& portName) {
    return StrToInt(Copy(portName, 4, INT_MAX));
}

int BridgeDiscovery::GetPortNumXp2000(int vendorId, int productId, unsigned char* serial,
                                      int length) {
    int result = -1;
    for (int i = 0; i < length && i < 256; ++i)
        if (serial[i] == ' ')
            serial[i] = '_';
    const std::string key =
        KeyPath(DevicePart(vendorId, productId, converttostring(serial, length)));
    std::string value;
    RegReadString(key, "PortName", value, HKEY_LOCAL_MACHINE);
    if (!value.empty())
        result = PortNumber(value);
    return result;
}

int BridgeDiscovery::FindBridgePort() {
    uint32_t devices = 0;
    const CP210x_STATUS numStatus = CP210x_GetNumDevices(&devices);
    log(std::to_string(numStatus));
    log(std::to_string(devices));
    // Diagnostic only: it asks for device number 1, whose outcome changes nothing.
    const CP210x_STATUS productStatus = CP210x_GetProductString(1, buffer.data(), 256);
    log(std::to_string(productStatus));
    log(std::string(reinterpret_cast<const char*>(buffer.data()),
                    strnlen(reinterpret_cast<const char*>(buffer.data()), 255)));
    if (devices < 1)
        return -1;

    CP210x_HANDLE handle = 0;
    const CP210x_STATUS openStatus = CP210x_Open(0, &handle);
    log("Open S:" + std::to_string(openStatus));
    log("cyH:" + std::to_string(handle));
    uint16_t vid = 0, pid = 0;
    uint8_t length = 0;
    bool identified = false;
    if (openStatus == CP210x_SUCCESS) {
        const CP210x_STATUS vidStatus = CP210x_GetDeviceVid(handle, &vid);
        log("VID Status: " + std::to_string(vidStatus));
        log("VID : " + std::to_string(vid));
        if (vidStatus == CP210x_SUCCESS) {
            const CP210x_STATUS pidStatus = CP210x_GetDevicePid(handle, &pid);
            log("PID Status: " + std::to_string(pidStatus));
            log("PID : " + std::to_string(pid));
            if (pidStatus == CP210x_SUCCESS) {
                // The status is not looked at: a failed read leaves the length at 0.
                const CP210x_STATUS snStatus =
                    CP210x_GetDeviceSerialNumber(handle, buffer.data(), &length, true);
                log("GDSN Status: " + std::to_string(snStatus));
                log("SN : " + converttostring(buffer.data(), length));
                identified = true;
            }
        }
    }
    const CP210x_STATUS closeStatus = CP210x_Close(handle);
    log("Close S:" + std::to_string(closeStatus));

    int result = -1;
    if (identified)
        result = GetPortNumXp2000(vid, pid, buffer.data(), length);
    log("ComPort:" + std::to_string(result));
    return result;
}

std::vector<BridgeCable> BridgeDiscovery::Cables() {
    std::vector<BridgeCable> cables;
    uint32_t count = 0;
    if (CP210x_GetNumDevices(&count) != CP210x_SUCCESS)
        return cables;
    for (uint32_t i = 0; i < count; ++i) {
        BridgeCable& cable = cables.emplace_back();
        BridgeDiscovery discovery;
        auto& buffer = discovery.buffer;
        if (CP210x_GetProductString(i, buffer.data(), 256) == CP210x_SUCCESS) {
            cable.productRead = true;
            cable.product = converttostring(
                buffer.data(),
                static_cast<int>(strnlen(reinterpret_cast<const char*>(buffer.data()), 255)));
        }
        CP210x_HANDLE handle = 0;
        if (CP210x_Open(i, &handle) != CP210x_SUCCESS)
            continue;
        cable.opened = true;
        uint16_t vid = 0, pid = 0;
        uint8_t length = 0;
        const bool haveVid = CP210x_GetDeviceVid(handle, &vid) == CP210x_SUCCESS;
        cable.idsRead = haveVid && CP210x_GetDevicePid(handle, &pid) == CP210x_SUCCESS;
        if (cable.idsRead)
            CP210x_GetDeviceSerialNumber(handle, buffer.data(), &length, true);
        CP210x_Close(handle);
        if (!cable.idsRead)
            continue;
        cable.vendorId = vid;
        cable.productId = pid;
        cable.serial = converttostring(buffer.data(), length);
        try {
            cable.port = discovery.GetPortNumXp2000(vid, pid, buffer.data(), length);
        } catch (const EConvertError& e) {
            cable.portError = e.what();
        }
        cable.keyPath = KeyPath(DevicePart(vid, pid, converttostring(buffer.data(), length)));
    }
    return cables;
}

} // namespace corvana::device
