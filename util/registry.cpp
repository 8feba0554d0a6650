#include "util/registry.h"

#include <cstring>

#include "platform/machinehive.h"
#include "platform/registry_store.h"
#include "util/errors.h"

namespace corvana {
namespace {

using platform::RegistryStore;
using platform::RegValue;

// A key opened with full access relative to a root; released when it goes out of scope.
// Under HKEY_CURRENT_USER it is backed by the store file; HKEY_LOCAL_MACHINE is read-only.
class RegistryObject {
public:
    explicit RegistryObject(int64_t root) : root_(static_cast<uint32_t>(root)) {}

    // Opens or creates the key; false when it cannot be opened with full access.
    bool openKey(const std::string& keyPath, bool canCreate) {
        path_ = keyPath;
        if (root_ != static_cast<uint32_t>(HKEY_CURRENT_USER))
            return open_ = false; // the machine hive is never created or written here
        store_.load();
        if (store_.hasKey(keyPath))
            return open_ = true;
        if (!canCreate || !store_.createKey(keyPath))
            return open_ = false;
        return open_ = store_.save();
    }

    bool writeString(const std::string& name, const std::string& data) {
        if (!open_)
            return false;
        RegValue v{platform::REG_SZ, {data.begin(), data.end()}};
        v.data.push_back(0);
        (*store_.key(path_))[name] = std::move(v);
        return store_.save();
    }

    std::optional<RegValue> readValue(const std::string& keyPath, const std::string& name) {
        if (root_ == static_cast<uint32_t>(HKEY_LOCAL_MACHINE))
            return platform::machineHiveRead(keyPath, name);
        if (!open_)
            return std::nullopt;
        const auto* key = store_.key(path_);
        const auto it = key->find(name);
        if (it == key->end())
            return std::nullopt;
        return it->second;
    }

private:
    uint32_t root_;
    RegistryStore store_{RegistryStore::defaultPath()};
    std::string path_;
    bool open_ = false;
};

} // namespace

void RegWriteString(const std::string& keyPath, const std::string& valueName,
                    const std::string& data, int64_t rootKey) {
    bool written = false;
    {
        RegistryObject reg(rootKey);
        reg.openKey(keyPath, true); // outcome ignored: a failed open makes the write fail
        written = reg.writeString(valueName, data);
    }
    if (!written)
        throw ERegistryError("Fehler beim Setzen der Daten für '" + valueName + "'");
}

void RegReadString(const std::string& keyPath, const std::string& valueName, std::string& data,
                   int64_t rootKey) {
    data.clear();
    try {
        RegistryObject reg(rootKey);
        reg.openKey(keyPath, true);
        const auto v = reg.readValue(keyPath, valueName);
        if (!v || v->data.empty())
            return;
        if (v->type != platform::REG_SZ && v->type != platform::REG_EXPAND_SZ)
            return; // any other type is an error, swallowed as the empty text
        const auto* bytes = reinterpret_cast<const char*>(v->data.data());
        data.assign(bytes, strnlen(bytes, v->data.size()));
    } catch (...) {
        data.clear();
    }
}

} // namespace corvana
