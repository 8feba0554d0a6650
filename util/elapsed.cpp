#include "util/elapsed.h"

namespace corvana {

int ElapsedSeconds(std::chrono::nanoseconds span) {
    if (span < std::chrono::nanoseconds::zero())
        span = -span;
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(span).count();
    return static_cast<int>(whole % 60);
}

} // namespace corvana
