#pragma once
// A serial device as the port object needs it, in the terms of the Windows communications
// interface it was written against (buffer sizes, line settings, time-outs, event waits,
// purge, error counters). serial_posix.cpp implements it on termios, serial_win32.cpp on
// CreateFile/WaitCommEvent.
//
// Threading: waitEvent() runs on the port's event thread, cancelWait() on any thread, all
// other calls on the thread that owns the port. Every call returns 0 or the platform's
// error number.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvana::platform {

// Communication events (the values of the Windows EV_* bits).
namespace comm {
inline constexpr uint32_t EvRxChar = 0x0001;
inline constexpr uint32_t EvRxFlag = 0x0002;
inline constexpr uint32_t EvTxEmpty = 0x0004;
inline constexpr uint32_t EvCts = 0x0008;
inline constexpr uint32_t EvDsr = 0x0010;
inline constexpr uint32_t EvRlsd = 0x0020;
inline constexpr uint32_t EvBreak = 0x0040;
inline constexpr uint32_t EvErr = 0x0080;
inline constexpr uint32_t EvRing = 0x0100;
inline constexpr uint32_t EvRx80Full = 0x0400;

// Line errors (the values of the Windows CE_* bits).
inline constexpr uint32_t CeRxOver = 0x0001;
inline constexpr uint32_t CeOverrun = 0x0002;
inline constexpr uint32_t CeRxParity = 0x0004;
inline constexpr uint32_t CeFrame = 0x0008;
inline constexpr uint32_t CeBreak = 0x0010;
} // namespace comm

enum class Parity { None, Odd, Even };

// The line's framing (speed, data and stop bits) is the caller's; the tool's is in
// util/settings.h. The rest is what the port always uses.
struct LineSettings {
    int baudRate = 0;
    int dataBits = 0;
    Parity parity = Parity::None;
    bool parityCheck = false;      // no parity check
    bool errorCharReplace = false; // bytes with line errors are passed on as received
    int stopBits = 0;
    bool ctsOutFlow = false;
    bool dsrOutFlow = false;
    bool dtrActive = false; // DTR control disabled: held inactive
    bool rtsActive = false; // RTS control disabled: held inactive
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool binary = true; // raw bytes, no end-of-file character
    bool discardNull = false;
    char eventChar = 0;
};

// Milliseconds. A read interval of kNoInterval with both totals 0 makes a read return at once
// with what has arrived; that is the only read mode the port uses.
struct Timeouts {
    static constexpr uint32_t kNoInterval = 0xFFFFFFFF;
    uint32_t readInterval = kNoInterval;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 100;
    uint32_t writeTotalConstant = 1000;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens `path` for reading and writing, existing device only, exclusively: a device that
    // another holder has open fails with the access-denied code, also for root.
    static std::unique_ptr<SerialDevice> open(const std::string& path, int& err);

    virtual int setupBuffers(size_t rxSize, size_t txSize) = 0;
    virtual int setLine(const LineSettings& s) = 0;
    virtual int setTimeouts(const Timeouts& t) = 0;
    virtual int setEventMask(uint32_t mask) = 0;

    // Blocks until an event of the mask has occurred (0, `events` set) or cancelWait() was
    // called (0, `events` 0). An error means the device is gone.
    virtual int waitEvent(uint32_t& events) = 0;
    virtual void cancelWait() = 0;

    // Writes all of `data`, bounded by the write time-outs; `written` tells how much went.
    // Returns once the bytes have left the transmit queue or the time-out ran out.
    virtual int write(const void* data, size_t len, size_t& written) = 0;
    // Takes up to `len` received bytes at once, possibly none.
    virtual int read(void* data, size_t len, size_t& got) = 0;
    // The number of received bytes waiting, and the line errors since the last call.
    virtual int status(size_t& inQueue, uint32_t& errors) = 0;

    // Aborts pending transmission (the port's first closing step).
    virtual int abort() = 0;
    // Discards both buffers; errors are of no interest any more.
    virtual void discard() = 0;

    // True once the device has gone away (cable pulled, peer closed); its error number.
    virtual int lostError() const = 0;
};

// The device path behind a port name. Windows: "\\.\" + the name. Linux: "COMn" is
// <CORVANA_DEV_ROOT or /dev>/ttyUSB<n-1>, empty for names that are no COM port.
std::string comPortDevicePath(const std::string& portName);

} // namespace corvana::platform
