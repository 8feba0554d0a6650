#include "util/registry.h"

#include <cstring>

#include "platform/regkey.h"
#include "util/errors.h"

namespace corvana {

void RegWriteString(const std::string& keyPath, const std::string& valueName,
                    const std::string& data, int64_t rootKey) {
    bool written = false;
    {
        platform::RegistryKey reg(static_cast<uint32_t>(rootKey));
        reg.open(keyPath, true); // outcome ignored: a failed open makes the write fail
        written = reg.writeString(valueName, data);
    }
    if (!written)
        throw ERegistryError("Fehler beim Setzen der Daten für '" + valueName + "'");
}

void RegReadString(const std::string& keyPath, const std::string& valueName, std::string& data,
                   int64_t rootKey) {
    data.clear();
    try {
        platform::RegistryKey reg(static_cast<uint32_t>(rootKey));
        reg.open(keyPath, true);
        const auto v = reg.read(valueName);
        if (!v || v->bytes.empty())
            return;
        if (v->type != platform::kRegSz && v->type != platform::kRegExpandSz)
            return; // any other type is an error, swallowed as the empty text
        const auto* bytes = reinterpret_cast<const char*>(v->bytes.data());
        data.assign(bytes, strnlen(bytes, v->bytes.size()));
    } catch (...) {
        data.clear();
    }
}

} // namespace corvana
