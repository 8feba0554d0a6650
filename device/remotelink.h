#pragma once
// One window's complete device link: its port `ComPort1`, its receive accumulator `RxBuffer`,
// the send and wait operations of the remote control's protocol and its bridge discovery.
// The wizard creates one with its hidden memos (transcript in Memo1 and Memo2), the device
// info window with none; nothing is shared between two links.
//
//   RemoteLink link(&Memo1, &Memo2);          // the wizard
//   int n = link.FindBridgePort();            // diagnostic lines go to Memo1
//   link.ComPort1.SetPort("COM" + std::to_string(n));
//   link.ComPort1.SetConnected(true);
//   link.Senden(DeviceTypeFrame("00"));
//   if (link.Empfangen(5, 5) && link.RxBuffer == PositiveReply('$')) ...
//
// Calling order for every exchange: Senden, one wait, then (on true) the comparison of
// RxBuffer, without pumping in between. The waits pump the owning thread's event loop, so the
// port's notifications and the window's input run during them; between checks they block in
// the event loop rather than spin. A port error raised during a wait (by a notification, or
// the device going away) leaves the wait as EComPortError.

#include <string>

#include "device/bridgediscovery.h"
#include "device/comport.h"
#include "device/linkobserver.h"
#include "device/waitclock.h"
#include "util/stringlist.h"

namespace corvana::device {

class RemoteLink {
public:
    // `memo1`/`memo2` receive the transcript; nullptr where a window keeps none. `clock`
    // (not owned) times the waits; nullptr is the system clock.
    explicit RemoteLink(StringList* memo1 = nullptr, StringList* memo2 = nullptr,
                        Clock* clock = nullptr);
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    ComPort ComPort1;
    // Appended to by ComPort1RxChar, emptied by Senden; the owning thread's only.
    std::string RxBuffer;

    // Empties RxBuffer, writes the frame (returning once written) and the send transcript.
    // Always true; port errors are raised.
    bool Senden(const std::string& frame);
    // Waits until RxBuffer holds `length` bytes (true) or the time-out rule fires (false);
    // writes the receive transcript on success.
    bool Empfangen(int length, int timeout);
    // The same wait without transcript (the device info window's probe wait; its Empfangen
    // is this one followed by the read-out decoding).
    bool EmpfangenTest(int length, int timeout);

    // Bound to ComPort1.OnRxChar: reads `count` bytes and appends them to RxBuffer (and to
    // Memo1 as "---" + bytes). A window that wraps the handler calls this one.
    void ComPort1RxChar(ComPort& sender, int count);

    // This link's bridge discovery (its own buffer; its log is Memo1).
    int FindBridgePort() { return discovery.FindBridgePort(); }
    BridgeDiscovery discovery;

    void setClock(Clock* clock) { clock_ = clock ? clock : &systemClock(); }
    Clock& clock() { return *clock_; }

    // Told the discovery's lines, the frames written and the waits' ends (a run log); nullptr
    // for none. Not owned.
    void setObserver(LinkObserver* observer) {
        observer_ = observer;
        discovery.observer = observer;
    }
    LinkObserver* observer() const { return observer_; }

private:
    bool wait(int length, int timeout);
    bool waitFor(int length, int timeout);
    // Blocks in the event loop until something was processed or the next clock check is due.
    void pumpUntilDue(Millis start, int timeout);

    StringList* memo1_;
    StringList* memo2_;
    Clock* clock_;
    LinkObserver* observer_ = nullptr;
};

} // namespace corvana::device
