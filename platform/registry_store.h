#pragma once
// The per-user registry hive on Linux: one text file in the registry editor's export format,
// written atomically and readable by its owner only (it holds a passcode).

#include "platform/regkey.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvana::platform {

struct RegValue {
    RegType type = kRegNone;
    std::vector<uint8_t> data; // strings: the text's bytes followed by one zero byte
};

// Key and value names compare without regard to ASCII letter case, as the registry's do.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

using RegKey = std::map<std::string, RegValue, NoCaseLess>;

class RegistryStore {
public:
    // The file that holds HKEY_CURRENT_USER: $XDG_CONFIG_HOME (else ~/.config)/corvana/hkcu.reg.
    static std::string defaultPath();

    explicit RegistryStore(std::string path);

    // Loads the file; a missing file is an empty hive, an unreadable or unparsable one reads
    // as empty too but is remembered as damaged so the next save keeps it aside.
    void load();
    // Writes the whole hive: temporary file (0600), flush, rename. False on any failure.
    bool save();

    bool hasKey(const std::string& keyPath) const;
    // Creates the key and its missing parents; false when the hive cannot take it.
    bool createKey(const std::string& keyPath);
    RegKey* key(const std::string& keyPath);

    bool damaged() const { return damaged_; }
    const std::string& path() const { return path_; }

    // The text form of a hive and its parser, apart from the file so they can be tested.
    static std::string serialize(const std::map<std::string, RegKey, NoCaseLess>& keys);
    static std::optional<std::map<std::string, RegKey, NoCaseLess>> parse(const std::string& text);

private:
    std::string path_;
    std::map<std::string, RegKey, NoCaseLess> keys_;
    bool damaged_ = false;
};

} // namespace corvana::platform
