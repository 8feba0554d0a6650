// The registry routines' key on the Windows registry itself.
#include "platform/regkey.h"

#include <windows.h>

namespace corvana::platform {
namespace {

// The predefined root keys are negative 32-bit numbers widened with their sign to a handle:
// HKEY_CURRENT_USER is 0xFFFFFFFF80000001 in a 64-bit process.
HKEY rootHandle(uint32_t root) {
    return reinterpret_cast<HKEY>(
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

} // namespace

struct RegistryKey::Impl {
    uint32_t root = 0;
    HKEY key = nullptr;

    void close() {
        if (key)
            ::RegCloseKey(key);
        key = nullptr;
    }
};

RegistryKey::RegistryKey(uint32_t root) : d_(std::make_unique<Impl>()) {
    d_->root = root;
}

RegistryKey::~RegistryKey() {
    d_->close();
}

bool RegistryKey::open(const std::string& keyPath, bool canCreate) {
    d_->close();
    const HKEY root = rootHandle(d_->root);
    LONG r;
    if (d_->root == kLocalMachine || !canCreate) {
        // The USB device tree is only read: a missing key stays missing, and reading needs no
        // more rights than an ordinary user has there.
        const REGSAM access = d_->root == kLocalMachine ? KEY_READ : KEY_ALL_ACCESS;
        r = ::RegOpenKeyExA(root, keyPath.c_str(), 0, access, &d_->key);
    } else {
        r = ::RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &d_->key, nullptr);
    }
    if (r != ERROR_SUCCESS)
        d_->key = nullptr;
    return d_->key != nullptr;
}

bool RegistryKey::writeString(const std::string& name, const std::string& data) {
    if (!d_->key || data.size() >= MAXDWORD)
        return false;
    return ::RegSetValueExA(d_->key, name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

std::optional<RegistryData> RegistryKey::read(const std::string& name) {
    if (!d_->key)
        return std::nullopt;
    // The value may change between asking its size and reading it: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        LONG r = ::RegQueryValueExA(d_->key, name.c_str(), nullptr, &type, nullptr, &size);
        if (r != ERROR_SUCCESS)
            return std::nullopt;
        RegistryData v;
        v.type = type;
        v.bytes.resize(size);
        r = ::RegQueryValueExA(d_->key, name.c_str(), nullptr, &type, v.bytes.data(), &size);
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS)
            return std::nullopt;
        v.type = type;
        v.bytes.resize(size);
        return v;
    }
    return std::nullopt;
}

} // namespace corvana::platform
