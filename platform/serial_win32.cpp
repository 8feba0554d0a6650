// The serial device on the Windows communications interface: "\\.\COMn" opened exclusively
// with overlapped I/O; the event thread waits in WaitCommEvent, the owner's reads and writes
// complete through GetOverlappedResult. Error numbers are GetLastError's.
//
// A driver that cannot wait for communication events (wine's on a pseudo-terminal, where the
// tests meet the simulated remote) refuses WaitCommEvent with ERROR_NOT_SUPPORTED and keeps no
// count of waiting bytes. There the event thread reads itself, into a receive buffer of the
// size the port asked for, and reports what it read as the driver would (received characters,
// event character, 80 % full); transmit-empty follows each completed write.
#include "platform/serial.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace corvana::platform {
namespace {

// An overlapped operation's event, manual-reset as GetOverlappedResult expects it.
struct Overlapped {
    Overlapped() { ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (ov.hEvent)
            ::CloseHandle(ov.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    OVERLAPPED* get() {
        const HANDLE e = ov.hEvent;
        ov = {};
        ov.hEvent = e;
        ::ResetEvent(e);
        return &ov;
    }
    OVERLAPPED ov{};
};

BYTE parityOf(Parity p) {
    switch (p) {
    case Parity::Odd:
        return ODDPARITY;
    case Parity::Even:
        return EVENPARITY;
    default:
        return NOPARITY;
    }
}

class Win32Serial final : public SerialDevice {
public:
    Win32Serial(HANDLE h, HANDLE stop, HANDLE wake) : h_(h), stop_(stop), wake_(wake) {}

    ~Win32Serial() override {
        // Ends a wait the event thread left pending, so its structures are free to go.
        ::SetCommMask(h_, 0);
        if (waitPending_) {
            ::CancelIoEx(h_, &waitOv_.ov);
            DWORD n = 0;
            ::GetOverlappedResult(h_, &waitOv_.ov, &n, TRUE);
        }
        if (readPending_) {
            ::CancelIoEx(h_, &rxOv_.ov);
            DWORD n = 0;
            ::GetOverlappedResult(h_, &rxOv_.ov, &n, TRUE);
        }
        ::CloseHandle(h_);
        ::CloseHandle(stop_);
        ::CloseHandle(wake_);
    }

    int setupBuffers(size_t rxSize, size_t txSize) override {
        {
            std::lock_guard lock(m_);
            rxCap_ = std::max<size_t>(rxSize, 1);
        }
        return ::SetupComm(h_, static_cast<DWORD>(rxSize), static_cast<DWORD>(txSize))
                   ? 0
                   : static_cast<int>(::GetLastError());
    }

    int setLine(const LineSettings& s) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(h_, &dcb))
            return static_cast<int>(::GetLastError());
        dcb.BaudRate = static_cast<DWORD>(s.baudRate);
        dcb.ByteSize = static_cast<BYTE>(s.dataBits);
        dcb.Parity = parityOf(s.parity);
        dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fBinary = s.binary;
        dcb.fParity = s.parityCheck;
        dcb.fErrorChar = s.errorCharReplace;
        dcb.fOutxCtsFlow = s.ctsOutFlow;
        dcb.fOutxDsrFlow = s.dsrOutFlow;
        dcb.fDsrSensitivity = FALSE;
        dcb.fDtrControl = s.dtrActive ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fRtsControl = s.rtsActive ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        dcb.fOutX = s.xonXoffOut;
        dcb.fInX = s.xonXoffIn;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.fNull = s.discardNull;
        dcb.fAbortOnError = FALSE;
        dcb.EvtChar = s.eventChar;
        eventChar_ = s.eventChar;
        return ::SetCommState(h_, &dcb) ? 0 : static_cast<int>(::GetLastError());
    }

    int setTimeouts(const Timeouts& t) override {
        COMMTIMEOUTS ct{};
        ct.ReadIntervalTimeout = t.readInterval;
        ct.ReadTotalTimeoutMultiplier = t.readTotalMultiplier;
        ct.ReadTotalTimeoutConstant = t.readTotalConstant;
        ct.WriteTotalTimeoutMultiplier = t.writeTotalMultiplier;
        ct.WriteTotalTimeoutConstant = t.writeTotalConstant;
        return ::SetCommTimeouts(h_, &ct) ? 0 : static_cast<int>(::GetLastError());
    }

    int setEventMask(uint32_t mask) override {
        // The EV_* bits are the interface's own.
        if (!::SetCommMask(h_, mask))
            return static_cast<int>(::GetLastError());
        mask_ = mask;
        // The first wait tells whether the driver can wait for events; pending, it is the
        // event thread's to take up (the thread starts after this).
        if (!waitPending_ && !emulated_) {
            waitMask_ = 0;
            if (::WaitCommEvent(h_, &waitMask_, waitOv_.get()))
                held_ = waitMask_;
            else if (::GetLastError() == ERROR_IO_PENDING)
                waitPending_ = true;
            else if (::GetLastError() == ERROR_NOT_SUPPORTED ||
                     ::GetLastError() == ERROR_INVALID_FUNCTION)
                emulated_ = true;
        }
        return 0;
    }

    int waitEvent(uint32_t& events) override {
        events = 0;
        if (const int err = lost_.load())
            return err;
        if (emulated_)
            return readEvent(events);
        if (held_) {
            events = std::exchange(held_, 0u);
            return 0;
        }
        if (!waitPending_) {
            waitMask_ = 0;
            if (::WaitCommEvent(h_, &waitMask_, waitOv_.get())) {
                events = waitMask_;
                return 0;
            }
            const DWORD err = ::GetLastError();
            if (err != ERROR_IO_PENDING)
                return ioFailed(err);
            waitPending_ = true;
        }
        // A wait cut short by the stop signal stays pending and is taken up by the next call
        // (or ended by the destructor).
        const HANDLE handles[2] = {waitOv_.ov.hEvent, stop_};
        const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1)
            return 0;
        if (r != WAIT_OBJECT_0)
            return ioFailed(::GetLastError());
        waitPending_ = false;
        DWORD n = 0;
        if (!::GetOverlappedResult(h_, &waitOv_.ov, &n, FALSE))
            return ioFailed(::GetLastError());
        events = waitMask_; // 0 after the mask was changed: the caller waits again
        return 0;
    }

    void cancelWait() override { ::SetEvent(stop_); }

    int write(const void* data, size_t len, size_t& written) override {
        written = 0;
        if (const int err = lost_.load())
            return err;
        OVERLAPPED* ov = writeOv_.get();
        DWORD n = 0;
        if (!::WriteFile(h_, data, static_cast<DWORD>(len), nullptr, ov) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return ioFailed(::GetLastError());
        // The write time-outs bound this wait; what went by then is the result.
        if (!::GetOverlappedResult(h_, ov, &n, TRUE))
            return ioFailed(::GetLastError());
        written = n;
        if (emulated_) {
            txEmpty_ = true;
            ::SetEvent(wake_);
        }
        return 0;
    }

    int read(void* data, size_t len, size_t& got) override {
        got = 0;
        if (const int err = lost_.load())
            return err;
        if (emulated_) {
            std::lock_guard lock(m_);
            got = std::min(len, rx_.size());
            std::copy_n(rx_.begin(), got, static_cast<char*>(data));
            rx_.erase(0, got);
            if (got)
                ::SetEvent(wake_); // there may be room for the event thread's next read
            return 0;
        }
        OVERLAPPED* ov = readOv_.get();
        DWORD n = 0;
        // With the read time-outs of the port this completes at once with what has arrived.
        if (!::ReadFile(h_, data, static_cast<DWORD>(len), nullptr, ov) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return ioFailed(::GetLastError());
        if (!::GetOverlappedResult(h_, ov, &n, TRUE))
            return ioFailed(::GetLastError());
        got = n;
        return 0;
    }

    int status(size_t& inQueue, uint32_t& errors) override {
        inQueue = 0;
        errors = 0;
        if (const int err = lost_.load())
            return err;
        DWORD e = 0;
        COMSTAT st{};
        if (!::ClearCommError(h_, &e, &st))
            return ioFailed(::GetLastError());
        inQueue = st.cbInQue;
        errors = e; // the CE_* bits are the interface's own
        if (emulated_) {
            std::lock_guard lock(m_);
            inQueue = rx_.size();
        }
        return 0;
    }

    int abort() override {
        return ::PurgeComm(h_, PURGE_TXABORT | PURGE_RXABORT) ? 0
                                                              : static_cast<int>(::GetLastError());
    }

    void discard() override {
        ::PurgeComm(h_, PURGE_TXCLEAR | PURGE_RXCLEAR);
        std::lock_guard lock(m_);
        rx_.clear();
    }

    int lostError() const override { return lost_.load(); }

private:
    // The event wait of a driver without events: a read into the receive buffer, pending
    // until bytes arrive, or the report of a completed write.
    int readEvent(uint32_t& events) {
        for (;;) {
            if (txEmpty_.exchange(false) && (events = EV_TXEMPTY & mask_))
                return 0;
            if (!readPending_) {
                size_t room;
                {
                    std::lock_guard lock(m_);
                    room = rxCap_ > rx_.size() ? rxCap_ - rx_.size() : 0;
                }
                if (room > 0) {
                    chunk_.resize(std::min<size_t>(room, 1024));
                    if (!::ReadFile(h_, chunk_.data(), static_cast<DWORD>(chunk_.size()), nullptr,
                                    rxOv_.get()) &&
                        ::GetLastError() != ERROR_IO_PENDING)
                        return ioFailed(::GetLastError());
                    readPending_ = true;
                }
            }
            const HANDLE handles[3] = {stop_, wake_, rxOv_.ov.hEvent};
            const DWORD r =
                ::WaitForMultipleObjects(readPending_ ? 3 : 2, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0)
                return 0;
            if (r == WAIT_OBJECT_0 + 1)
                continue;
            if (r != WAIT_OBJECT_0 + 2)
                return ioFailed(::GetLastError());
            readPending_ = false;
            DWORD n = 0;
            if (!::GetOverlappedResult(h_, &rxOv_.ov, &n, FALSE))
                return ioFailed(::GetLastError());
            if (n == 0)
                continue;
            uint32_t ev = EV_RXCHAR;
            {
                std::lock_guard lock(m_);
                const size_t before = rx_.size();
                rx_.append(chunk_.data(), n);
                if (std::find(chunk_.begin(), chunk_.begin() + n, eventChar_) != chunk_.begin() + n)
                    ev |= EV_RXFLAG;
                const size_t full80 = rxCap_ * 8 / 10;
                if (before < full80 && rx_.size() >= full80)
                    ev |= EV_RX80FULL;
            }
            if ((events = ev & mask_))
                return 0;
        }
    }

    // An I/O call that fails for anything but an abort of ours means the device has gone
    // (cable pulled: the driver answers every later call with an error as well).
    int ioFailed(DWORD err) {
        if (err != ERROR_OPERATION_ABORTED && err != 0) {
            int expected = 0;
            lost_.compare_exchange_strong(expected, static_cast<int>(err));
        }
        return err ? static_cast<int>(err) : ERROR_GEN_FAILURE;
    }

    const HANDLE h_;
    const HANDLE stop_; // auto-reset: one signal ends one wait
    const HANDLE wake_; // auto-reset: a write completed, or there is room to read again
    Overlapped waitOv_, writeOv_, readOv_, rxOv_;
    // Set before the event thread starts, then read only.
    uint32_t mask_ = 0;
    char eventChar_ = 0;
    bool emulated_ = false;
    // Event thread only (set up before it starts), then the destructor.
    DWORD waitMask_ = 0;
    uint32_t held_ = 0;
    bool waitPending_ = false;
    bool readPending_ = false;
    std::string chunk_;
    std::atomic<int> lost_{0};
    std::atomic<bool> txEmpty_{false};
    std::mutex m_; // guards the receive buffer of a driver without events
    std::string rx_;
    size_t rxCap_ = 1024;
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& path, int& err) {
    err = 0;
    // No sharing: a port another program holds fails with the access-denied code.
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = static_cast<int>(::GetLastError());
        return nullptr;
    }
    const HANDLE stop = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const HANDLE wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!stop || !wake) {
        err = static_cast<int>(::GetLastError());
        for (const HANDLE x : {stop, wake})
            if (x)
                ::CloseHandle(x);
        ::CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<Win32Serial>(h, stop, wake);
}

std::string comPortDevicePath(const std::string& portName) {
    if (portName.empty())
        return {};
    return "\\\\.\\" + portName;
}

} // namespace corvana::platform
