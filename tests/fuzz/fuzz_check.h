#pragma once
// What every fuzz target shares: a failed expectation is a crash the fuzzer reports.

#include <cstdlib>

namespace corvana::fuzz {

inline void check(bool cond) {
    if (!cond)
        std::abort();
}

} // namespace corvana::fuzz
