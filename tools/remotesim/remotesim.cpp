#include "tools/remotesim/remotesim.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace corvana::sim {
namespace {

constexpr char STX = 0x02, ETX = 0x03, ACK = 0x06, NAK = 0x15;
constexpr size_t kImageSize = 0x8000;
constexpr size_t kMaxFrame = 4096; // a start byte without an end this long is noise

using Clock = std::chrono::steady_clock;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `digits` hexadecimal characters at `pos`, or -1.
int hexField(const std::string& s, size_t pos, size_t digits) {
    int v = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int d = hexValue(s[pos + i]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

void drain(int fd) {
    uint64_t n;
    while (::read(fd, &n, sizeof n) > 0) {
    }
}

void poke(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(fd, &one, sizeof one);
}

} // namespace

RemoteSimulator::RemoteSimulator() : image_(kImageSize, 0xFF) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("ptsname failed");
    ptyPath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0)
        throw std::runtime_error(std::string("cannot open ") + name);
    // Raw from the start, so nothing is echoed or cooked before a port has set the line up.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0)
        throw std::runtime_error("eventfd failed");
    thread_ = std::thread([this] { run(); });
}

RemoteSimulator::~RemoteSimulator() {
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    poke(wake_);
    thread_.join();
    closePty();
    ::close(wake_);
}

FakeUsbTree& RemoteSimulator::publish(const std::string& dir, FakeBridge bridge) {
    bridge.ttyTarget = ptyPath_;
    std::lock_guard lock(m_);
    tree_ = std::make_unique<FakeUsbTree>(dir);
    if (!vanished_)
        tree_->add(bridge);
    bridge_ = bridge;
    return *tree_;
}

void RemoteSimulator::unplug() {
    std::lock_guard lock(m_);
    if (tree_ && bridge_)
        tree_->remove(bridge_->busPath);
}

void RemoteSimulator::plug() {
    std::lock_guard lock(m_);
    if (tree_ && bridge_ && !vanished_)
        tree_->add(*bridge_);
}

void RemoteSimulator::setDeviceType(const std::string& code) {
    std::lock_guard lock(m_);
    deviceType_ = code;
}

void RemoteSimulator::setReadOutField(const std::string& field) {
    std::lock_guard lock(m_);
    readOut_ = field;
}

void RemoteSimulator::setFaults(const Faults& f) {
    std::lock_guard lock(m_);
    faults_ = f;
}

Faults RemoteSimulator::faults() const {
    std::lock_guard lock(m_);
    return faults_;
}

void RemoteSimulator::send(const std::string& bytes) {
    {
        std::lock_guard lock(m_);
        outbox_.push_back(bytes);
    }
    poke(wake_);
}

void RemoteSimulator::vanish() {
    std::unique_lock lock(m_);
    vanishRequested_ = true;
    poke(wake_);
    cv_.wait(lock, [&] { return vanished_; });
}

bool RemoteSimulator::vanished() const {
    std::lock_guard lock(m_);
    return vanished_;
}

std::vector<std::string> RemoteSimulator::frames() const {
    std::lock_guard lock(m_);
    std::vector<std::string> out;
    out.reserve(records_.size());
    for (const auto& r : records_)
        out.push_back(r.bytes);
    return out;
}

std::vector<FrameRecord> RemoteSimulator::records() const {
    std::lock_guard lock(m_);
    return records_;
}

size_t RemoteSimulator::frameCount() const {
    std::lock_guard lock(m_);
    return records_.size();
}

bool RemoteSimulator::waitForFrames(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, timeout, [&] { return records_.size() >= n; });
}

void RemoteSimulator::clearFrames() {
    std::lock_guard lock(m_);
    records_.clear();
}

std::vector<uint8_t> RemoteSimulator::image() const {
    std::lock_guard lock(m_);
    return image_;
}

bool RemoteSimulator::lineSettings(termios& t) const {
    std::lock_guard lock(m_);
    return slave_ >= 0 && ::tcgetattr(slave_, &t) == 0;
}

void RemoteSimulator::setFrameListener(std::function<void(const FrameRecord&)> listener) {
    std::lock_guard lock(m_);
    listener_ = std::move(listener);
}

void RemoteSimulator::closePty() {
    std::lock_guard lock(m_);
    // Out of the tree first: whoever sees the line drop must not find the bridge any more.
    if (!vanished_ && tree_ && bridge_)
        tree_->remove(bridge_->busPath);
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
    vanished_ = true;
    cv_.notify_all();
}

void RemoteSimulator::runCommands() {
    drain(wake_);
    std::vector<std::string> out;
    bool vanishNow;
    {
        std::lock_guard lock(m_);
        out.swap(outbox_);
        vanishNow = vanishRequested_ && !vanished_;
    }
    if (vanishNow) {
        closePty();
        return;
    }
    for (const auto& bytes : out)
        writeAt(bytes.data(), bytes.size(), Clock::now());
}

bool RemoteSimulator::sleepUntil(SteadyTime when) {
    for (;;) {
        {
            std::lock_guard lock(m_);
            if (stop_ || vanished_)
                return false;
        }
        const auto left = when - Clock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                          static_cast<long>(ns % 1'000'000'000)};
        pollfd pfd{wake_, POLLIN, 0};
        if (::ppoll(&pfd, 1, &ts, nullptr) > 0)
            runCommands();
    }
}

bool RemoteSimulator::writeAt(const char* data, size_t len, SteadyTime when) {
    if (!sleepUntil(when))
        return false;
    while (len > 0) {
        if (master_ < 0)
            return false;
        const ssize_t n = ::write(master_, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd pfd{master_, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

bool RemoteSimulator::writeReply(const std::string& reply, const Faults& f, SteadyTime lineEnd) {
    if (f.paced) {
        // Each byte is written when its last bit would have arrived.
        SteadyTime t = std::max(lineEnd, Clock::now());
        for (const char c : reply) {
            t += kByteTime;
            if (!writeAt(&c, 1, t))
                return false;
        }
        return true;
    }
    if (f.splitChunk > 0) {
        SteadyTime t = Clock::now();
        for (size_t pos = 0; pos < reply.size(); pos += f.splitChunk) {
            if (!writeAt(reply.data() + pos, std::min(f.splitChunk, reply.size() - pos), t))
                return false;
            t = Clock::now() + f.splitGap;
        }
        return true;
    }
    return writeAt(reply.data(), reply.size(), Clock::now());
}

std::string RemoteSimulator::answer(const std::string& frame) {
    if (frame.size() < 3)
        return {};
    const char command = frame[1];
    const std::string payload = frame.substr(2, frame.size() - 3);
    std::lock_guard lock(m_);
    switch (command) {
    case '$':
        return {STX, '$', payload == deviceType_ ? ACK : NAK, 0, ETX};
    case '#':
        return {STX, '#', ACK, 0, ETX};
    case '%':
        if (payload != "0")
            return {};
        return std::string(1, STX) + '%' + readOut_ + ETX;
    case '!': {
        const char marker = frame.size() == 138 ? frame[136] : 0;
        const bool markerOk = marker == 0x04 || marker == 0x08;
        const int address = frame.size() == 138 ? hexField(frame, 2, 4) : -1;
        const int given = frame.size() == 138 ? hexField(frame, 134, 2) : -1;
        uint8_t data[64];
        bool ok = markerOk && address >= 0 && given >= 0;
        uint8_t sum = static_cast<uint8_t>(0x23 ^ (address >> 8) ^ (address & 0xFF));
        for (size_t i = 0; ok && i < 64; ++i) {
            const int b = hexField(frame, 6 + 2 * i, 2);
            ok = b >= 0;
            data[i] = static_cast<uint8_t>(b);
            sum ^= data[i];
        }
        ok = ok && sum == given;
        if (ok && static_cast<size_t>(address) + 64 <= kImageSize)
            std::copy(data, data + 64, image_.begin() + address);
        return {STX, '!', ok ? ACK : NAK, markerOk ? marker : '\0', ETX};
    }
    default:
        return {};
    }
}

void RemoteSimulator::handleFrame(const std::string& frame, SteadyTime lineEnd) {
    Faults f;
    int number;
    {
        std::lock_guard lock(m_);
        records_.push_back({frame, Clock::now(), std::nullopt, {}});
        number = static_cast<int>(records_.size());
        f = faults_;
    }
    cv_.notify_all();
    if (f.vanishAt > 0 && number >= f.vanishAt) {
        closePty();
        return;
    }
    std::string reply;
    if (f.silentFrom > 0 && number >= f.silentFrom) {
        // silent
    } else if (const auto it = f.replyFor.find(number); it != f.replyFor.end()) {
        reply = it->second;
    } else {
        reply = answer(frame);
        if (f.wrongFrom > 0 && number >= f.wrongFrom && !reply.empty()) {
            if (!f.wrongReply.empty())
                reply = f.wrongReply;
            else if (reply.size() >= 3)
                reply[2] = NAK;
        }
    }
    if (!reply.empty())
        reply += f.extraBytes;
    bool sent = false;
    if (!reply.empty()) {
        if (f.replyDelay.count() > 0 && !sleepUntil(Clock::now() + f.replyDelay))
            return;
        sent = writeReply(reply, f, lineEnd);
    }
    const auto repliedAt = Clock::now();
    std::function<void(const FrameRecord&)> listener;
    FrameRecord rec;
    {
        std::lock_guard lock(m_);
        // The record is still ours unless the frames were cleared meanwhile.
        if (static_cast<int>(records_.size()) >= number && records_[number - 1].bytes == frame) {
            auto& r = records_[number - 1];
            if (sent) {
                r.replied = repliedAt;
                r.reply = reply;
            }
            rec = r;
        } else {
            rec = {frame, repliedAt, std::nullopt, sent ? reply : std::string()};
        }
        listener = listener_;
    }
    cv_.notify_all();
    if (listener)
        listener(rec);
}

void RemoteSimulator::run() {
    char buf[4096];
    for (;;) {
        {
            std::lock_guard lock(m_);
            if (stop_)
                return;
        }
        pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
        const nfds_t n = master_ >= 0 ? 2 : 1;
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN)
            runCommands();
        if (n < 2 || master_ < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t got = ::read(master_, buf, sizeof buf);
        if (got <= 0) {
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // No port has the pty open (EIO) and nothing to read: wait for the next opener.
            ::poll(nullptr, 0, 5);
            continue;
        }
        const auto now = Clock::now();
        const bool paced = faults().paced;
        const SteadyTime lineStart = paced ? std::max(rxLine_, now) : now;
        for (ssize_t i = 0; i < got; ++i) {
            const char c = buf[i];
            const SteadyTime arrived = paced ? lineStart + kByteTime * (i + 1) : now;
            if (rx_.empty() && c != STX)
                continue; // noise between frames
            rx_ += c;
            if (c == ETX) {
                std::string frame;
                frame.swap(rx_);
                handleFrame(frame, arrived);
                if (master_ < 0)
                    break;
            } else if (rx_.size() > kMaxFrame) {
                rx_.clear();
            }
        }
        if (paced)
            rxLine_ = lineStart + kByteTime * got;
    }
}

} // namespace corvana::sim
