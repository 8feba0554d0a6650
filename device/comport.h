#pragma once
// The serial port object each window that talks to the remote control owns (`ComPort1`).
//
// Fixed settings: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control of any kind,
// DTR and RTS held inactive, raw bytes, event character 0x00, 1024-byte buffers, reads that
// return at once, writes bounded by 1000 ms + 100 ms per byte. "COMn" is the device
// <CORVANA_DEV_ROOT or /dev>/ttyUSB<n-1>; the open is exclusive.
//
// Threading: create, use and destroy the port on one thread that runs an event loop (the UI
// thread; with Qt a QCoreApplication is enough, see device/eventpump.h). While the port is open
// an event thread waits for the device's events and hands each batch to that thread through a
// posted event, blocking until
// it has been dispatched. The notifications therefore run on the owning thread, one after the
// other, only while it pumps events. Per batch they run in this order: OnError, OnRxChar,
// OnTxEmpty, OnBreak, OnRing, OnCTSChange, OnDSRChange, OnRxFlag, OnRLSDChange, OnRx80Full.
//
// Errors are EComPortError with the message "<text> (win error code: <errno>)":
//   1 "Unable to open com port"         2 "WriteFile function failed"
//   3 "ReadFile function failed"        5 "PurgeComm function failed"
//   7 "SetCommState function failed"    8 "SetCommTimeouts failed"
//   9 "SetupComm function failed"       10 "ClearCommError function failed"
// When the device goes away (cable pulled, simulator vanished), the next operation raises its
// error with the platform's code and the port closes itself, so that a later open starts
// afresh instead of writing into a dead device for the rest of the run. A wait that pumps
// (RemoteLink) learns of the loss through RaisePendingError() as error 3.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/serial.h"

namespace corvana::device {

class ComPort {
public:
    static const platform::LineSettings kLineSettings;
    static const platform::Timeouts kTimeouts;
    static constexpr size_t kBufferSize = 1024;
    // evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
    static const uint32_t kEvents;

    ComPort();
    ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // "COM1" at creation. Setting the current name does nothing; another name is stored and,
    // when the port is open, it is closed and opened again under the new name.
    const std::string& Port() const;
    void SetPort(const std::string& name);

    // Setting the value it already has does nothing; true opens, false closes.
    bool Connected() const;
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    // Aborts pending output, stops the event thread (running a hand-over it has pending, so
    // closing never blocks against it), discards both buffers, releases the device. Does
    // nothing when closed; safe to call from inside a notification.
    void Close();

    // Writes all bytes and waits until the write has completed; the number written.
    int WriteStr(const std::string& data);
    // Takes up to `count` received bytes into `data` (shortened to what was read).
    int ReadStr(std::string& data, int count);
    // The number of received bytes waiting.
    int InputCount();

    std::function<void(ComPort& sender, int count)> OnRxChar;
    std::function<void(ComPort& sender)> OnTxEmpty;
    std::function<void(ComPort& sender)> OnRxFlag;
    std::function<void(ComPort& sender, uint32_t errors)> OnError; // platform::comm::Ce* bits
    std::function<void(ComPort& sender)> OnBreak;
    std::function<void(ComPort& sender)> OnRing;
    std::function<void(ComPort& sender)> OnCTSChange;
    std::function<void(ComPort& sender)> OnDSRChange;
    std::function<void(ComPort& sender)> OnRLSDChange;
    std::function<void(ComPort& sender)> OnRx80Full;

    // Errors that notification handlers raise never cross Qt's event dispatch, so handlers need
    // no ui::guarded wrapper of their own (one would show an error the wait also reports). While a
    // wait of ours pumps for this port (a PumpScope is alive) the first such error is kept and
    // RaisePendingError() rethrows it from the wait. Otherwise it goes to the uncaught-error
    // sink: the application sets it to its default error display; by default it is logged.
    class PumpScope {
    public:
        explicit PumpScope(ComPort& port);
        ~PumpScope();
        PumpScope(const PumpScope&) = delete;
        PumpScope& operator=(const PumpScope&) = delete;

    private:
        ComPort& port_;
    };
    // Rethrows the kept handler error, or raises error 3 when the device has gone away.
    void RaisePendingError();

    using ErrorSink = std::function<void(std::exception_ptr)>;
    static void SetUncaughtErrorSink(ErrorSink sink);

    // While set, every port opens its device through it instead of the platform (a fuzzer's
    // scripted device); a null result fails the open with `err`.
    using DeviceFactory =
        std::function<std::unique_ptr<platform::SerialDevice>(const std::string& path, int& err)>;
    static void SetDeviceFactory(DeviceFactory factory);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace corvana::device
