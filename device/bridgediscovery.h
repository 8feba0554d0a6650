#pragma once
// Finding the remote's cable: the first attached CP210x bridge's vendor id, product id and
// serial number, the key of the USB device tree they name, and the COM port number the port
// driver recorded there. Each window owns one BridgeDiscovery (with its own 256-byte buffer);
// the wizard hands it its Memo1 for the diagnostic lines, the device info window nullptr.
//
// The library calls are platform/cp210x.h's; the key is read with RegReadString under
// HKEY_LOCAL_MACHINE (on Linux answered from the same device tree as the library calls).

#include <array>
#include <string>
#include <vector>

#include "util/stringlist.h"

namespace corvana::device {

class LinkObserver;

// One attached cable, as far as the library could read it.
struct BridgeCable {
    bool productRead = false;
    std::string product;
    bool opened = false;
    bool idsRead = false; // the vendor and the product id
    int vendorId = 0;
    int productId = 0;
    std::string serial;    // as the library gives it
    std::string keyPath;   // the serial's blanks as "_", as the key has them
    int port = -1;         // -1: no "PortName" under the key
    std::string portError; // the EConvertError of a "PortName" that holds no number
};

class BridgeDiscovery {
public:
    explicit BridgeDiscovery(StringList* log = nullptr) : log_(log) {}

    // The port number (1 or more), or -1 for none. Reads everything anew on each call. A
    // "PortName" whose characters after "COM" are not a decimal number raises EConvertError.
    int FindBridgePort();

    // Every attached cable in the library's order (the lookup takes the first); empty when
    // there is none or the library cannot count them. Logs nothing.
    static std::vector<BridgeCable> Cables();

    // Replaces the blanks among the first `length` bytes of `serial` by "_" (in place), builds
    // the key path, reads "PortName" and returns its number, or -1.
    int GetPortNumXp2000(int vendorId, int productId, unsigned char* serial, int length);

    // The first `length` characters of `buffer` (clamped to 0..256).
    static std::string converttostring(const unsigned char* buffer, int length);

    // "Vid_" + vendor + "&Pid_" + product + "&Mi_00\" + serial text, trimmed, + "_00"; the ids
    // in lower-case hexadecimal without leading zeros.
    static std::string DevicePart(int vendorId, int productId, const std::string& serialText);
    // "SYSTEM\CurrentControlSet\Enum\USB\" + device part + "\Device Parameters".
    static std::string KeyPath(const std::string& devicePart);
    // The decimal number formed by the characters of a "PortName" from the fourth on (COM12
    // gives 12); EConvertError "'<text>' ist kein gültiger Integerwert" when they are none.
    static int PortNumber(const std::string& portName);

    // The library fills it with the product string, then with the serial number.
    std::array<unsigned char, 256> buffer{};

    // Also told every diagnostic line; nullptr for none.
    LinkObserver* observer = nullptr;

private:
    void log(const std::string& line);
    StringList* log_;
};

} // namespace corvana::device
