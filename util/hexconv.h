#pragma once
// Hexadecimal conversions shared by the windows and the device link.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvana {

// Reads `text` as the run-time library reads "$" + text: hexadecimal, either letter case,
// a 32-bit result. Throws EConvertError "'$text' ist kein gültiger Integerwert" otherwise.
int32_t HexToInt(std::string_view text);

// The same conversion to 64 bits.
int64_t HexToInt64(std::string_view text);

// Upper-case hexadecimal with at least `digits` digits; negative values as eight-digit two's
// complement; a result shorter than two characters gets one leading "0".
std::string xIntToHex(int32_t value, int digits);

} // namespace corvana
