#pragma once
// One registry key, opened with full access relative to a root key, as the registry routines
// of util/registry.h use it: open (or create), write a string value, read a value with its
// type, close when it goes out of scope. regkey_linux.cpp keeps HKEY_CURRENT_USER in the store
// file of registry_store.h and answers HKEY_LOCAL_MACHINE from the USB device tree;
// regkey_win32.cpp is the real registry.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvana::platform {

// The predefined root keys and the value types, as the registry numbers them. Named apart
// from the Windows headers' macros (HKEY_CURRENT_USER, REG_SZ), which stand beside them there.
inline constexpr uint32_t kCurrentUser = 0x80000001;
inline constexpr uint32_t kLocalMachine = 0x80000002;

using RegType = uint32_t;
inline constexpr RegType kRegNone = 0;
inline constexpr RegType kRegSz = 1;
inline constexpr RegType kRegExpandSz = 2;
inline constexpr RegType kRegBinary = 3;
inline constexpr RegType kRegDword = 4;
inline constexpr RegType kRegMultiSz = 7;

struct RegistryData {
    RegType type = kRegNone;
    std::vector<uint8_t> bytes; // as stored: a string's text with its terminating zero byte
};

class RegistryKey {
public:
    // `root`: the predefined root key's number (HKEY_CURRENT_USER 0x80000001, ...).
    explicit RegistryKey(uint32_t root);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens `keyPath` ("\" between levels) with full access; with `canCreate` the key and its
    // missing parents are created. False when no key is open afterwards. HKEY_LOCAL_MACHINE
    // is never created: it is opened for reading only.
    bool open(const std::string& keyPath, bool canCreate);
    // REG_SZ: the text and one zero byte; replaces an earlier value. False without an open key
    // or when the write fails.
    bool writeString(const std::string& name, const std::string& data);
    // The value with its type; none when it is absent or no key is open.
    std::optional<RegistryData> read(const std::string& name);

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

} // namespace corvana::platform
