// The serial device on termios. Linux has no driver receive buffer that a program can size or
// watch for "event character received", and poll() reports waiting input as a level, not as
// an event. So the event thread moves arriving bytes into a receive buffer of the size the
// port asks for and reports what it moved; reads take from that buffer. Bytes beyond it stay
// in the kernel's queue until there is room again, so nothing is lost.

#include "platform/serial.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

#include "platform/sysio.h"

namespace corvana::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the line-error and modem-status counters are sampled on devices that keep them.
constexpr int kCounterPollMs = 100;
// How often a transmit queue that did not drain within the write is looked at again.
constexpr int kTxPollMs = 10;

speed_t speedFor(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

// Calls that a pseudo-terminal or a plain tty without modem lines does not know.
bool unsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

// A tty that has been hung up (cable pulled, pseudo-terminal master closed).
bool hungUp(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

class PosixSerial final : public SerialDevice {
public:
    PosixSerial(int fd, int wake) : fd_(fd), wake_(wake) {}

    ~PosixSerial() override {
        // TIOCEXCL stays on the tty while anyone else keeps it open; leave it as we found it.
        platform::ioctl(fd_, TIOCNXCL, nullptr);
        platform::close(fd_);
        platform::close(wake_);
    }

    int setupBuffers(size_t rxSize, size_t txSize) override {
        if (rxSize == 0 || txSize == 0)
            return EINVAL;
        std::lock_guard lock(m_);
        rxCap_ = rxSize;
        return 0;
    }

    int setLine(const LineSettings& s) override {
        const speed_t speed = speedFor(s.baudRate);
        if (speed == B0 || s.dataBits < 5 || s.dataBits > 8 ||
            (s.stopBits != 1 && s.stopBits != 2) || s.dsrOutFlow || !s.binary || s.discardNull ||
            s.errorCharReplace)
            return EINVAL;
        termios t{};
        if (platform::tcgetattr(fd_, &t) != 0)
            return errno;
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
        t.c_cflag |= CLOCAL | CREAD;
        static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag |= sizes[s.dataBits - 5];
        if (s.parity != Parity::None)
            t.c_cflag |= PARENB | (s.parity == Parity::Odd ? PARODD : 0);
        if (s.stopBits == 2)
            t.c_cflag |= CSTOPB;
        if (s.ctsOutFlow)
            t.c_cflag |= CRTSCTS;
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP);
        t.c_iflag |= IGNBRK; // a break is an event, not a NUL byte in the data
        if (s.xonXoffOut)
            t.c_iflag |= IXON;
        if (s.xonXoffIn)
            t.c_iflag |= IXOFF;
        if (s.parityCheck)
            t.c_iflag |= INPCK;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (platform::tcsetattr(fd_, TCSANOW, &t) != 0)
            return errno;
        // tcsetattr succeeds when any part was taken; a driver that refused the rest shows it.
        termios got{};
        if (platform::tcgetattr(fd_, &got) != 0)
            return errno;
        const tcflag_t mask = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
        if (::cfgetospeed(&got) != speed || (got.c_cflag & mask) != (t.c_cflag & mask))
            return EINVAL;

        int dtr = TIOCM_DTR, rts = TIOCM_RTS;
        if (platform::ioctl(fd_, s.dtrActive ? TIOCMBIS : TIOCMBIC, &dtr) != 0 &&
            !unsupported(errno))
            return errno;
        if (platform::ioctl(fd_, s.rtsActive ? TIOCMBIS : TIOCMBIC, &rts) != 0 &&
            !unsupported(errno))
            return errno;

        std::lock_guard lock(m_);
        baud_ = s.baudRate;
        bitsPerByte_ = 1 + s.dataBits + (s.parity != Parity::None ? 1 : 0) + s.stopBits;
        eventChar_ = s.eventChar;
        counters_ = readCounters(last_);
        return 0;
    }

    int setTimeouts(const Timeouts& t) override {
        // Reads here always return at once; other read modes are not needed by the port.
        if (t.readInterval != Timeouts::kNoInterval || t.readTotalMultiplier || t.readTotalConstant)
            return EINVAL;
        std::lock_guard lock(m_);
        timeouts_ = t;
        return 0;
    }

    int setEventMask(uint32_t mask) override {
        mask_ = mask;
        return 0;
    }

    int waitEvent(uint32_t& events) override {
        events = 0;
        for (;;) {
            if (const int err = lost_.load())
                return err;
            // Events found while a write is under way wait for its end, and the write's own
            // "transmit empty" goes first: on a line, whatever answers a frame can only come
            // after the frame has left, and the owner cannot dispatch before the write returns.
            if (!writing_) {
                if (txEmpty_.exchange(false) && (events = comm::EvTxEmpty & mask_.load()))
                    return 0;
                if ((events = std::exchange(held_, 0) & mask_.load()))
                    return 0;
            }
            if (hupSeen_) {
                lost_ = EIO;
                return EIO;
            }
            pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, 0, 0}};
            {
                std::lock_guard lock(m_);
                if (rx_.size() < rxCap_)
                    fds[1].events = POLLIN;
            }
            int timeout = -1;
            if (counters_)
                timeout = kCounterPollMs;
            if (txWatch_)
                timeout = kTxPollMs;
            if (platform::poll(fds, 2, timeout) < 0) {
                lost_ = errno;
                return errno;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t n;
                [[maybe_unused]] auto r = ::read(wake_, &n, sizeof n);
                if (cancel_.exchange(false))
                    return 0;
            }
            if (fds[1].revents & POLLIN)
                held_ |= fill();
            else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
                hupSeen_ = true;
            if (counters_)
                held_ |= sampleCounters();
            if (txWatch_) {
                int queued = 0;
                if (platform::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued == 0) {
                    txWatch_ = false;
                    held_ |= comm::EvTxEmpty;
                }
            }
        }
    }

    void cancelWait() override {
        cancel_ = true;
        wakeUp();
    }

    int write(const void* data, size_t len, size_t& written) override {
        written = 0;
        if (const int err = lost_.load())
            return err;
        writing_ = true;
        struct Done {
            PosixSerial& s;
            ~Done() {
                s.writing_ = false;
                s.wakeUp();
            }
        } done{*this};
        Timeouts t;
        int baud, bits;
        {
            std::lock_guard lock(m_);
            t = timeouts_;
            baud = baud_;
            bits = bitsPerByte_;
        }
        const auto deadline = Clock::now() + milliseconds(t.writeTotalConstant +
                                                          uint64_t{t.writeTotalMultiplier} * len);
        auto* p = static_cast<const char*>(data);
        while (written < len) {
            const ssize_t n = platform::write(fd_, p + written, len - written);
            if (n >= 0) {
                written += static_cast<size_t>(n);
                continue;
            }
            if (errno != EAGAIN) {
                const int err = errno;
                if (hungUp(err))
                    lost_ = err;
                return err;
            }
            const int left = msUntil(deadline);
            if (left <= 0)
                break; // the write time-out ran out: report what went
            pollfd pfd{fd_, POLLOUT, 0};
            if (platform::poll(&pfd, 1, left) < 0)
                return errno;
        }
        // The write is complete once the bytes are on the line; wait for the queue to drain,
        // sleeping for the line time of what is still queued.
        for (;;) {
            int queued = 0;
            if (platform::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
                txEmpty_ = true;
                break;
            }
            const int left = msUntil(deadline);
            if (left <= 0) {
                txWatch_ = true;
                break;
            }
            const int lineMs = queued * bits * 1000 / std::max(baud, 1) + 1;
            // A poll on nothing: a sleep that lets the thread's wait tick run.
            platform::poll(nullptr, 0, std::min(lineMs, left));
        }
        return 0;
    }

    int read(void* data, size_t len, size_t& got) override {
        got = 0;
        if (const int err = lost_.load())
            return err;
        std::lock_guard lock(m_);
        got = std::min(len, rx_.size());
        std::copy_n(rx_.begin(), got, static_cast<char*>(data));
        rx_.erase(0, got);
        if (got)
            wakeUp(); // there may be room again for bytes queued in the kernel
        return 0;
    }

    int status(size_t& inQueue, uint32_t& errors) override {
        inQueue = 0;
        errors = 0;
        if (const int err = lost_.load())
            return err;
        std::lock_guard lock(m_);
        inQueue = rx_.size();
        errors = errors_;
        errors_ = 0;
        return 0;
    }

    int abort() override {
        if (platform::tcflush(fd_, TCOFLUSH) == 0)
            return 0;
        const int err = errno;
        if (hungUp(err)) {
            lost_ = err;
            return 0; // nothing left to abort on a device that is gone
        }
        return err;
    }

    void discard() override {
        platform::tcflush(fd_, TCIOFLUSH);
        std::lock_guard lock(m_);
        rx_.clear();
        errors_ = 0;
    }

    int lostError() const override { return lost_.load(); }

private:
    static int msUntil(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
    }

    void wakeUp() {
        const uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(wake_, &one, sizeof one);
    }

    // Moves what has arrived into the receive buffer; returns the events that makes.
    uint32_t fill() {
        char chunk[1024];
        std::lock_guard lock(m_);
        const size_t room = rxCap_ > rx_.size() ? rxCap_ - rx_.size() : 0;
        if (room == 0)
            return 0;
        const ssize_t n = platform::read(fd_, chunk, std::min(room, sizeof chunk));
        if (n == 0 || (n < 0 && hungUp(errno))) {
            hupSeen_ = true;
            return 0;
        }
        if (n < 0)
            return 0; // EAGAIN: someone else took it
        const size_t before = rx_.size();
        rx_.append(chunk, static_cast<size_t>(n));
        uint32_t ev = comm::EvRxChar;
        if (std::find(chunk, chunk + n, eventChar_) != chunk + n)
            ev |= comm::EvRxFlag;
        const size_t full80 = rxCap_ * 8 / 10;
        if (before < full80 && rx_.size() >= full80)
            ev |= comm::EvRx80Full;
        return ev;
    }

    bool readCounters(serial_icounter_struct& c) {
        return platform::ioctl(fd_, TIOCGICOUNT, &c) == 0;
    }

    // Line errors and modem-line changes as the counters of a real UART show them.
    uint32_t sampleCounters() {
        serial_icounter_struct now{};
        if (!readCounters(now)) {
            if (hungUp(errno))
                hupSeen_ = true;
            return 0;
        }
        uint32_t ev = 0, ce = 0;
        if (now.frame != last_.frame)
            ce |= comm::CeFrame;
        if (now.overrun != last_.overrun)
            ce |= comm::CeOverrun;
        if (now.parity != last_.parity)
            ce |= comm::CeRxParity;
        if (now.buf_overrun != last_.buf_overrun)
            ce |= comm::CeRxOver;
        if (now.brk != last_.brk) {
            ce |= comm::CeBreak;
            ev |= comm::EvBreak;
        }
        if (ce & ~comm::CeBreak)
            ev |= comm::EvErr;
        if (now.cts != last_.cts)
            ev |= comm::EvCts;
        if (now.dsr != last_.dsr)
            ev |= comm::EvDsr;
        if (now.rng != last_.rng)
            ev |= comm::EvRing;
        if (now.dcd != last_.dcd)
            ev |= comm::EvRlsd;
        last_ = now;
        if (ce) {
            std::lock_guard lock(m_);
            errors_ |= ce;
        }
        return ev;
    }

    const int fd_;
    const int wake_;
    std::mutex m_; // guards the receive buffer, the pending errors and the settings below
    std::string rx_;
    size_t rxCap_ = 1024;
    uint32_t errors_ = 0;
    Timeouts timeouts_;
    int baud_ = 9600;
    int bitsPerByte_ = 10;
    char eventChar_ = 0;
    std::atomic<uint32_t> mask_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> txEmpty_{false};
    std::atomic<bool> txWatch_{false};
    std::atomic<int> lost_{0};
    std::atomic<bool> writing_{false};
    // Event thread only (counters_ is set before the thread starts).
    bool counters_ = false;
    serial_icounter_struct last_{};
    bool hupSeen_ = false;
    uint32_t held_ = 0; // events found, not yet reported
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& path, int& err) {
    err = 0;
    const int fd = platform::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // TIOCEXCL set by another holder shows as EBUSY; to the caller it is a denied access.
        err = errno == EBUSY ? EACCES : errno;
        return nullptr;
    }
    // TIOCEXCL does not stop root, the advisory lock does (for every holder that uses it).
    if (platform::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EACCES : errno;
        platform::close(fd);
        return nullptr;
    }
    platform::ioctl(fd, TIOCEXCL, nullptr);
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        err = errno;
        platform::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerial>(fd, wake);
}

std::string comPortDevicePath(const std::string& portName) {
    if (portName.size() < 4 || portName.size() > 9)
        return {};
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(portName[static_cast<size_t>(i)])) != "COM"[i])
            return {};
    long n = 0;
    for (size_t i = 3; i < portName.size(); ++i) {
        if (portName[i] < '0' || portName[i] > '9')
            return {};
        n = n * 10 + (portName[i] - '0');
    }
    if (n < 1)
        return {};
    const char* root = std::getenv("CORVANA_DEV_ROOT");
    const std::string dir = root && *root ? root : "/dev";
    return dir + "/ttyUSB" + std::to_string(n - 1);
}

} // namespace corvana::platform
