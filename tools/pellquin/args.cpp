#include "tools/pellquin/args.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "device/frames.h"
#include "platform/serial.h"
#include "wizard/logic/order.h"

namespace corvana::cli {

Args parse(const std::vector<std::string>& in, const std::vector<OptionSpec>& specs) {
    Args a;
    const auto find = [&](const std::string& name) -> const OptionSpec* {
        for (const auto& s : specs) {
            if (s.name == name)
                return &s;
            if (std::find(s.aliases.begin(), s.aliases.end(), name) != s.aliases.end())
                return &s;
        }
        return nullptr;
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < in.size(); ++i) {
        const std::string& arg = in[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            a.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            a.help = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const OptionSpec* spec = find(name);
        if (!spec)
            throw UsageError("unknown option " + name);
        if (!spec->takesValue) {
            if (value)
                throw UsageError(spec->name + " takes no value");
            a.values[spec->name] = "";
            continue;
        }
        if (!value) {
            if (i + 1 >= in.size())
                throw UsageError(spec->name + " needs a value");
            value = in[++i];
        }
        a.values[spec->name] = *value;
    }
    return a;
}

int parsePort(const std::string& text) {
    std::string digits = text;
    if (digits.size() > 3) {
        std::string head = digits.substr(0, 3);
        for (auto& c : head)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (head == "COM")
            digits.erase(0, 3);
    }
    const bool number = !digits.empty() && digits.size() <= 6 &&
                        digits.find_first_not_of("0123456789") == std::string::npos;
    if (!number || std::atoi(digits.c_str()) < 1)
        throw UsageError("--port wants COMn with n from 1 (COM1 is " +
                         platform::comPortDevicePath("COM1") + "), not '" + text + "'");
    return std::atoi(digits.c_str());
}

std::string parseType(const std::string& text) {
    if (text.size() == 2 && std::isdigit(static_cast<unsigned char>(text[0])) &&
        std::isdigit(static_cast<unsigned char>(text[1])))
        return text;
    for (const auto& t : kDeviceTypes) {
        std::string upper = text;
        for (auto& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper == t.name)
            return std::string(t.code);
    }
    throw UsageError("--type wants two digits or TV1, VCR1, DVD, STB1, TVC1, TVC2, not '" + text +
                     "'");
}

std::string hexPairs(const std::string& bytes) {
    std::string dump = device::DumpText(bytes, bytes.size());
    if (!dump.empty())
        dump.pop_back();
    return dump;
}

std::string comName(int port) {
    return "COM" + std::to_string(port);
}

} // namespace corvana::cli
