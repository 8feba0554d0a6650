#pragma once
// Time for the waits of the device link: the clock they read, and the rule by which an
// unanswered wait ends. The rule compares the seconds component of the elapsed time (0 to 59,
// ElapsedSeconds), not the total: a time-out value T ends the wait at the first check after
// T + 1 seconds (about 6 s for 5, 11 s for 10), and a check that comes only after a minute or
// more sees a small value again.

#include <chrono>
#include <optional>

namespace corvana::device {

using Millis = std::chrono::milliseconds;

// The clock a wait reads, in milliseconds from an arbitrary start. Tests inject one that runs
// faster than real time, so that a six-second time-out takes a few dozen milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Millis now() = 0;
    // The real time to sleep until `span` has passed on this clock.
    virtual Millis realDelay(Millis span) { return span; }
};

// Monotonic time, millisecond resolution. A monotonic clock rather than the wall clock: a
// clock step (NTP, daylight saving) must not end or stretch a wait.
Clock& systemClock();

// Runs `factor` times faster than real time, from its creation on.
class ScaledClock : public Clock {
public:
    explicit ScaledClock(int factor);
    Millis now() override;
    Millis realDelay(Millis span) override;

private:
    int factor_;
    std::chrono::steady_clock::time_point origin_;
};

// Whether a wait begun at `start` with time-out value `timeout` ends at a check made at `now`.
bool waitTimedOut(Millis start, Millis now, int timeout);

// The earliest time at or after `now` at which a check would end the wait; none when no check
// ever does (a time-out value of 59 or more: the seconds component never exceeds it).
std::optional<Millis> nextTimeoutCheck(Millis start, Millis now, int timeout);

} // namespace corvana::device
