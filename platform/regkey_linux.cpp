#include "platform/regkey.h"

#include "platform/machinehive.h"
#include "platform/registry_store.h"

namespace corvana::platform {

// HKEY_CURRENT_USER is backed by the store file; HKEY_LOCAL_MACHINE is read-only.
struct RegistryKey::Impl {
    uint32_t root;
    RegistryStore store{RegistryStore::defaultPath()};
    std::string path;
    bool open = false;
};

RegistryKey::RegistryKey(uint32_t root) : d_(std::make_unique<Impl>()) {
    d_->root = root;
}

RegistryKey::~RegistryKey() = default;

bool RegistryKey::open(const std::string& keyPath, bool canCreate) {
    d_->path = keyPath;
    if (d_->root != kCurrentUser)
        return d_->open = false; // the machine hive is never created or written here
    d_->store.load();
    if (d_->store.hasKey(keyPath))
        return d_->open = true;
    if (!canCreate || !d_->store.createKey(keyPath))
        return d_->open = false;
    return d_->open = d_->store.save();
}

bool RegistryKey::writeString(const std::string& name, const std::string& data) {
    if (!d_->open)
        return false;
    RegValue v{kRegSz, {data.begin(), data.end()}};
    v.data.push_back(0);
    (*d_->store.key(d_->path))[name] = std::move(v);
    return d_->store.save();
}

std::optional<RegistryData> RegistryKey::read(const std::string& name) {
    std::optional<RegValue> v;
    if (d_->root == kLocalMachine) {
        v = machineHiveRead(d_->path, name);
    } else if (d_->open) {
        const auto* key = d_->store.key(d_->path);
        if (const auto it = key->find(name); it != key->end())
            v = it->second;
    }
    if (!v)
        return std::nullopt;
    return RegistryData{v->type, std::move(v->data)};
}

} // namespace corvana::platform
