// Any bytes as the per-user registry file, which other programs can write. A hive that parses
// must come back the same from its own text form, and that text must be stable.
#include "fuzz_check.h"
#include "platform/registry_store.h"

#include <cstdint>
#include <string>

using namespace corvana;
using namespace corvana::platform;
using corvana::fuzz::check;

namespace {

using Hive = std::map<std::string, RegKey, NoCaseLess>;

bool same(const Hive& a, const Hive& b) {
    if (a.size() != b.size())
        return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (i->first != j->first || i->second.size() != j->second.size())
            return false;
        for (auto v = i->second.begin(), w = j->second.begin(); v != i->second.end(); ++v, ++w)
            if (v->first != w->first || v->second.type != w->second.type ||
                v->second.data != w->second.data)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto hive = RegistryStore::parse(text);
    if (!hive)
        return 0;
    const std::string saved = RegistryStore::serialize(*hive);
    const auto again = RegistryStore::parse(saved);
    check(again.has_value());
    check(same(*hive, *again));
    check(RegistryStore::serialize(*again) == saved);
    return 0;
}
