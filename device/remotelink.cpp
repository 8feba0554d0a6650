#include "device/remotelink.h"

#include <thread>

#include "device/eventpump.h"
#include "device/frames.h"

namespace corvana::device {

RemoteLink::RemoteLink(StringList* memo1, StringList* memo2, Clock* clock)
    : discovery(memo1), memo1_(memo1), memo2_(memo2), clock_(clock ? clock : &systemClock()) {
    ComPort1.OnRxChar = [this](ComPort& sender, int count) { ComPort1RxChar(sender, count); };
    if (memo1_) {
        ComPort1.OnTxEmpty = [this](ComPort&) { memo1_->Add("txtempty"); };
        ComPort1.OnRxFlag = [this](ComPort&) { memo1_->Add("RxFlag"); };
        ComPort1.OnError = [this](ComPort&, uint32_t) { memo1_->Add("Error"); };
    }
}

bool RemoteLink::Senden(const std::string& frame) {
    RxBuffer.clear();
    if (memo2_)
        memo2_->Add(">>> to Send");
    ComPort1.WriteStr(frame);
    if (observer_)
        observer_->FrameSent(frame);
    const std::string dump = DumpText(frame, 4);
    if (memo1_)
        memo1_->Add(dump);
    if (memo2_) {
        memo2_->Add(PaddedLine(dump, frame));
        memo2_->Add(">>> send ready");
        memo2_->Add(" ");
    }
    return true;
}

bool RemoteLink::Empfangen(int length, int timeout) {
    if (memo2_)
        memo2_->Add("<<< recieve");
    if (!wait(length, timeout))
        return false;
    const std::string dump = DumpText(RxBuffer, static_cast<size_t>(length > 0 ? length : 0));
    if (memo1_)
        memo1_->Add(dump);
    if (memo2_) {
        memo2_->Add(PaddedLine(dump, RxBuffer));
        memo2_->Add("<<< receive ready");
        memo2_->Add(" ");
    }
    return true;
}

bool RemoteLink::EmpfangenTest(int length, int timeout) {
    return wait(length, timeout);
}

void RemoteLink::ComPort1RxChar(ComPort& sender, int count) {
    std::string data;
    sender.ReadStr(data, count);
    RxBuffer += data;
    if (memo1_)
        memo1_->Add("---" + data);
}

bool RemoteLink::wait(int length, int timeout) {
    if (!observer_)
        return waitFor(length, timeout);
    WaitReport report;
    report.length = length;
    report.timeout = timeout;
    const Millis start = clock_->now();
    const auto tell = [&](WaitReport::End end) {
        report.end = end;
        report.elapsed = clock_->now() - start;
        report.rx = RxBuffer;
        // The observer of this link may have gone with its run; look again.
        if (observer_)
            observer_->WaitEnded(report);
    };
    bool received = false;
    try {
        received = waitFor(length, timeout);
    } catch (...) {
        tell(WaitReport::End::PortError);
        throw;
    }
    tell(received ? WaitReport::End::Received : WaitReport::End::TimedOut);
    return received;
}

bool RemoteLink::waitFor(int length, int timeout) {
    ComPort::PumpScope scope(ComPort1);
    pump::processEvents();
    ComPort1.RaisePendingError();
    const Millis start = clock_->now();
    // The length test comes first: a wait entered with enough bytes succeeds at once.
    while (static_cast<long long>(RxBuffer.size()) < length) {
        pumpUntilDue(start, timeout);
        ComPort1.RaisePendingError();
        if (waitTimedOut(start, clock_->now(), timeout))
            return false;
    }
    return true;
}

void RemoteLink::pumpUntilDue(Millis start, int timeout) {
    if (!pump::available()) {
        // No event loop to block in (nothing could deliver a notification either).
        std::this_thread::sleep_for(Millis(1));
        return;
    }
    const Millis now = clock_->now();
    const auto due = nextTimeoutCheck(start, now, timeout);
    std::optional<Millis> limit;
    if (due)
        limit = clock_->realDelay(*due - now);
    pump::processEventsFor(limit);
}

} // namespace corvana::device
