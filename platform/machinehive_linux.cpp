#include "platform/machinehive.h"

#include <cctype>
#include <string_view>
#include <strings.h>

#include "platform/usbtree.h"

namespace corvana::platform {
namespace {

constexpr std::string_view kUsbEnum = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
constexpr std::string_view kParams = "\\Device Parameters";
constexpr std::string_view kInstanceSuffix = "_00";

bool startsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && ::strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

bool endsNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           ::strncasecmp(s.data() + s.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// "Vid_10c4" and the like: the tag, then hexadecimal digits.
std::optional<unsigned> tagged(std::string_view part, std::string_view tag) {
    if (!startsNoCase(part, tag) || part.size() == tag.size() || part.size() > tag.size() + 4)
        return std::nullopt;
    unsigned v = 0;
    for (const char c : part.substr(tag.size())) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 16 +
            static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                      ? c - '0'
                                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return v;
}

// The instance part the port driver's key carries for a serial number: blanks as "_", trailing
// control characters dropped, as the key path is built from it.
std::string instanceText(const std::string& serial) {
    std::string t = serial;
    for (char& c : t)
        if (c == ' ')
            c = '_';
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ')
        t.pop_back();
    return t;
}

std::optional<std::string> portNameFor(std::string_view keyPath) {
    if (!startsNoCase(keyPath, kUsbEnum) || !endsNoCase(keyPath, kParams))
        return std::nullopt;
    std::string_view middle = keyPath.substr(kUsbEnum.size());
    middle.remove_suffix(kParams.size());
    const auto slash = middle.find('\\');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view hardwareId = middle.substr(0, slash);
    std::string_view instance = middle.substr(slash + 1);
    if (!endsNoCase(instance, kInstanceSuffix) || instance.find('\\') != std::string_view::npos)
        return std::nullopt;
    instance.remove_suffix(kInstanceSuffix.size());
    if (instance.empty())
        return std::nullopt; // a device without a serial number has no such key

    const auto amp1 = hardwareId.find('&');
    const auto amp2 = amp1 == std::string_view::npos ? amp1 : hardwareId.find('&', amp1 + 1);
    if (amp2 == std::string_view::npos)
        return std::nullopt;
    const auto vid = tagged(hardwareId.substr(0, amp1), "Vid_");
    const auto pid = tagged(hardwareId.substr(amp1 + 1, amp2 - amp1 - 1), "Pid_");
    const auto mi = tagged(hardwareId.substr(amp2 + 1), "Mi_");
    if (!vid || !pid || !mi)
        return std::nullopt;

    for (const auto& d : listUsbDevices()) {
        if (d.vendorId != *vid || d.productId != *pid || !d.serial ||
            !equalNoCase(instanceText(*d.serial), instance))
            continue;
        for (const auto& itf : d.interfaces) {
            if (itf.number != static_cast<int>(*mi) || itf.tty.empty())
                continue;
            // ttyUSB<k> is COM<k+1>, the name the port object opens it by.
            return "COM" + std::to_string(std::stoul(itf.tty.substr(6)) + 1);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<RegValue> machineHiveRead(const std::string& keyPath, const std::string& valueName) {
    if (!equalNoCase(valueName, "PortName"))
        return std::nullopt;
    const auto name = portNameFor(keyPath);
    if (!name)
        return std::nullopt;
    RegValue v{kRegSz, {name->begin(), name->end()}};
    v.data.push_back(0);
    return v;
}

} // namespace corvana::platform
