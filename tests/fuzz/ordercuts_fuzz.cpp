// Any bytes as a portal address. The cuts must match a second, plainly written reading of
// their rules (std::string search, 0-based), and the file-name step must build its name from
// them.
#include "wizard/logic/order.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace corvana;

namespace {

void check(bool cond) {
    if (!cond)
        std::abort();
}

// Position from 1 of the first occurrence, 0 when absent.
long long pos(const std::string& needle, const std::string& s) {
    const auto at = s.find(needle);
    return at == std::string::npos ? 0 : static_cast<long long>(at) + 1;
}

// At most n characters from position i (from 1, raised to 1), nothing past the end.
std::string part(const std::string& s, long long i, long long n) {
    const long long start = i < 1 ? 0 : i - 1;
    if (n <= 0 || start >= static_cast<long long>(s.size()))
        return {};
    return s.substr(static_cast<size_t>(start), static_cast<size_t>(n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string A(reinterpret_cast<const char*>(data), size);
    const long long len = static_cast<long long>(A.size());
    const long long k = pos("a=", A);
    const std::string R = part(A, k + 5, len);
    const long long p = pos("PQ", R);
    const std::string T = part(A, pos("(S(", A) + 3, len);

    check(RemoteNumber(A) == part(A, k + 5, 5));
    check(RemoteDesignation(A) == part(R, 1, p + 1));
    check(CodeFileNumber(A) == part(R, 1, p - 2));
    check(PortalSessionId(A) == part(T, 1, pos("))/", T) - 1));
    const std::string code = DeviceTypeCode(A);
    check(code == part(A, pos("FB=", A) + 3, 2));

    OrderFields fields;
    int reads = 0;
    ButtonURLClick([&] { return ++reads, A; }, fields);
    check(reads == 2 && fields.FB == code);
    check(fields.eArtNR == CodeFilePrefix(code) + CodeFileNumber(A) + ".hex");
    const std::string name = FBumwandeln([&] { return A; });
    check(FindDeviceType(code) ? name == FindDeviceType(code)->name : name == code);
    return 0;
}
