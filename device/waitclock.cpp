#include "device/waitclock.h"

#include "util/elapsed.h"

namespace corvana::device {

using std::chrono::seconds;

Clock& systemClock() {
    struct Steady final : Clock {
        Millis now() override {
            return std::chrono::duration_cast<Millis>(
                std::chrono::steady_clock::now().time_since_epoch());
        }
    };
    static Steady clock;
    return clock;
}

ScaledClock::ScaledClock(int factor)
    : factor_(factor < 1 ? 1 : factor), origin_(std::chrono::steady_clock::now()) {}

Millis ScaledClock::now() {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - origin_) * factor_;
}

Millis ScaledClock::realDelay(Millis span) {
    return (span + Millis(factor_ - 1)) / factor_;
}

bool waitTimedOut(Millis start, Millis now, int timeout) {
    return ElapsedSeconds(now - start) > timeout;
}

std::optional<Millis> nextTimeoutCheck(Millis start, Millis now, int timeout) {
    if (waitTimedOut(start, now, timeout))
        return now;
    if (timeout >= 59)
        return std::nullopt;
    // Not yet past T + 1 seconds in the current minute of the wait: that moment is next.
    const auto elapsed = now - start;
    const auto minute = std::chrono::duration_cast<std::chrono::minutes>(elapsed);
    return start + minute + seconds(timeout + 1);
}

} // namespace corvana::device
