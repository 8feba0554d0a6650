#include "util/hexconv.h"

#include "util/errors.h"

namespace corvana {
namespace {

[[noreturn]] void notAnInteger(std::string_view text) {
    throw EConvertError("'$" + std::string(text) + "' ist kein gültiger Integerwert");
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "$" numbers: digits only (no sign, no blanks), value must fit `maxDigits` hex digits.
uint64_t parseHex(std::string_view text, size_t maxBits) {
    if (text.empty())
        notAnInteger(text);
    uint64_t value = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            notAnInteger(text);
        if (value >> (maxBits - 4))
            notAnInteger(text);
        value = (value << 4) | static_cast<uint64_t>(d);
    }
    return value;
}

} // namespace

int32_t HexToInt(std::string_view text) {
    return static_cast<int32_t>(static_cast<uint32_t>(parseHex(text, 32)));
}

int64_t HexToInt64(std::string_view text) {
    return static_cast<int64_t>(parseHex(text, 64));
}

std::string xIntToHex(int32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    auto v = static_cast<uint32_t>(value);
    std::string out;
    do {
        out.insert(out.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    while (static_cast<int>(out.size()) < digits)
        out.insert(out.begin(), '0');
    if (out.size() < 2)
        out.insert(out.begin(), '0');
    return out;
}

} // namespace corvana
