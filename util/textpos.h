#pragma once
// Text positions as the tool counts them: bytes, from 1; a failed search gives 0.

#include <string>
#include <string_view>

namespace corvana {

// Position of the first occurrence of `needle` in `text`, from 1; 0 when absent or text empty.
int Pos(std::string_view needle, std::string_view text);

// Part of `text` from position `start` (from 1), at most `count` bytes, clamped to the text.
std::string Copy(std::string_view text, long long start, long long count);

} // namespace corvana
