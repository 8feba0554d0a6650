#pragma once

#include <chrono>

namespace corvana {

// The seconds component (0 to 59) of a time span, as a time-of-day decomposition gives it;
// not the total number of seconds. The device link's waits compare against this.
int ElapsedSeconds(std::chrono::nanoseconds span);

} // namespace corvana
