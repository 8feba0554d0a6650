#include "util/textpos.h"

namespace corvana {

int Pos(std::string_view needle, std::string_view text) {
    if (text.empty() || needle.empty())
        return 0;
    const auto at = text.find(needle);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string Copy(std::string_view text, long long start, long long count) {
    const long long s = start >= 1 ? start : 1;
    const auto len = static_cast<long long>(text.size());
    if (text.empty() || s > len || count <= 0)
        return {};
    const long long n = count < len - s + 1 ? count : len - s + 1;
    return std::string(text.substr(static_cast<size_t>(s - 1), static_cast<size_t>(n)));
}

} // namespace corvana
