#pragma once
// What a device link tells an observer (a run log) as an exchange goes: the discovery's
// diagnostic lines, every frame written, and how every wait ended. The observer only
// watches: it is told after the fact and changes nothing of the exchange.

#include <string>

#include "device/waitclock.h"

namespace corvana::device {

struct WaitReport {
    int length = 0;  // bytes awaited
    int timeout = 0; // the time-out value of the wait
    enum class End { Received, TimedOut, PortError } end = End::Received;
    Millis elapsed{0}; // on the link's clock
    std::string rx;    // RxBuffer as the wait left it
};

class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    // A line of the bridge discovery's diagnostics, as the wizard's Memo1 gets it (also from a
    // discovery that keeps no memo).
    virtual void DiscoveryLine(const std::string& line) { (void)line; }
    // `frame` has been written to the port.
    virtual void FrameSent(const std::string& frame) { (void)frame; }
    // A wait returned, or was left by a port error.
    virtual void WaitEnded(const WaitReport& report) { (void)report; }
};

} // namespace corvana::device
