#pragma once
// The command line's shared pieces: the options of a command, the usage error, the values
// several commands read (port, device type) and the texts several commands write.

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvana::cli {

struct OptionSpec {
    std::string name; // "--type"
    bool takesValue = true;
    std::vector<std::string> aliases; // "-o"
};

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    bool help = false;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    const std::string* get(const std::string& name) const {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    }
};

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The words after the command name, read by `specs`; throws UsageError.
Args parse(const std::vector<std::string>& in, const std::vector<OptionSpec>& specs);

// "COM3" (any letter case) or "3"; the number.
int parsePort(const std::string& text);

// Two digits, or a name from the wizard's device-type table.
std::string parseType(const std::string& text);

// Bytes as hexadecimal pairs, as the transcripts show them.
std::string hexPairs(const std::string& bytes);

std::string comName(int port);

} // namespace corvana::cli
