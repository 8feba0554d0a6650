#include "device/comport.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>
#include <utility>

#include "device/eventpump.h"
#include "util/errors.h"
#include "util/settings.h"

namespace corvana::device {

namespace comm = platform::comm;

const platform::LineSettings ComPort::kLineSettings = [] {
    platform::LineSettings s;
    s.baudRate = settings::kBaudRate;
    s.dataBits = settings::kDataBits;
    s.stopBits = settings::kStopBits;
    return s;
}();
const platform::Timeouts ComPort::kTimeouts{};
const uint32_t ComPort::kEvents = comm::EvRxChar | comm::EvTxEmpty | comm::EvRxFlag | comm::EvRing |
                                  comm::EvBreak | comm::EvCts | comm::EvDsr | comm::EvErr |
                                  comm::EvRlsd | comm::EvRx80Full;

namespace {

const char* errorText(int code) {
    switch (code) {
    case 1:
        return "Unable to open com port";
    case 2:
        return "WriteFile function failed";
    case 3:
        return "ReadFile function failed";
    case 5:
        return "PurgeComm function failed";
    case 7:
        return "SetCommState function failed";
    case 8:
        return "SetCommTimeouts failed";
    case 9:
        return "SetupComm function failed";
    case 10:
        return "ClearCommError function failed";
    default:
        return "Com port error";
    }
}

[[noreturn]] void raise(int code, int osErr) {
    throw EComPortError(std::string(errorText(code)) +
                            " (win error code: " + std::to_string(osErr) + ")",
                        code, osErr);
}

ComPort::ErrorSink& sink() {
    static ComPort::ErrorSink s;
    return s;
}

ComPort::DeviceFactory& factory() {
    static ComPort::DeviceFactory f;
    return f;
}

} // namespace

struct ComPort::Impl {
    explicit Impl(ComPort& owner) : self(owner) {}

    ComPort& self;
    std::string port = "COM1";
    bool connected = false;
    bool closing = false;
    std::unique_ptr<platform::SerialDevice> dev;
    std::thread thread;
    uint64_t generation = 0; // owner thread only; a batch of an earlier opening is dropped
    std::exception_ptr kept;
    int pumpers = 0;
    // Hands a batch to the owner; seq 0 only wakes it (device gone).
    Mailbox mailbox;

    // The hand-over between the event thread and the owner.
    std::mutex m;
    std::condition_variable cv;
    bool stop = false;
    std::optional<uint32_t> pending;
    uint64_t seq = 0;
    uint64_t done = 0;

    bool alive(uint64_t gen) const { return connected && generation == gen; }

    void open() {
        const std::string path = platform::comPortDevicePath(port);
        if (path.empty())
            raise(1, ENOENT);
        int err = 0;
        auto opened = factory() ? factory()(path, err) : platform::SerialDevice::open(path, err);
        if (!opened)
            raise(1, err);
        dev = std::move(opened);
        connected = true;
        const auto fail = [this](int code, int e) {
            dev.reset();
            connected = false;
            raise(code, e);
        };
        if ((err = dev->setupBuffers(kBufferSize, kBufferSize)))
            fail(9, err);
        if ((err = dev->setLine(kLineSettings)))
            fail(7, err);
        if ((err = dev->setTimeouts(kTimeouts)))
            fail(8, err);
        dev->setEventMask(kEvents);
        {
            std::lock_guard lock(m);
            stop = false;
            pending.reset();
            seq = done = 0;
        }
        ++generation;
        try {
            thread = std::thread([this, d = dev.get(), g = generation] { run(d, g); });
        } catch (const std::system_error& e) {
            fail(1, e.code().value());
        }
    }

    void close() {
        if (!connected || closing)
            return;
        closing = true;
        const int abortErr = dev->abort();
        stopThread(true);
        release();
        if (abortErr)
            raise(5, abortErr);
    }

    // After the device went away: no purge to report, nothing pending worth running.
    void closeLost() {
        if (!connected || closing)
            return;
        closing = true;
        stopThread(false);
        release();
    }

    void release() {
        dev->discard();
        dev.reset();
        connected = false;
        ++generation;
        closing = false;
    }

    void stopThread(bool runPending) {
        std::optional<uint32_t> batch;
        {
            std::lock_guard lock(m);
            stop = true;
            if (runPending)
                batch = std::exchange(pending, std::nullopt);
        }
        cv.notify_all();
        dev->cancelWait();
        // A hand-over the event thread is blocked on runs here, while the device is still open.
        if (batch)
            dispatchGuarded(*batch, generation);
        if (thread.joinable())
            thread.join();
    }

    // The event thread.
    void run(platform::SerialDevice* device, uint64_t gen) {
        pthread_setname_np(pthread_self(), "comport");
        for (;;) {
            uint32_t ev = 0;
            const int err = device->waitEvent(ev);
            std::unique_lock lock(m);
            if (stop)
                return;
            if (err) {
                lock.unlock();
                mailbox.post([this, gen] { deliver(gen, 0); });
                return;
            }
            if (!ev)
                continue;
            pending = ev;
            const uint64_t mine = ++seq;
            lock.unlock();
            mailbox.post([this, gen, mine] { deliver(gen, mine); });
            lock.lock();
            cv.wait(lock, [&] { return stop || done >= mine; });
            if (stop)
                return;
        }
    }

    // The owner thread, from its event loop.
    void deliver(uint64_t gen, uint64_t s) {
        if (s == 0 || !alive(gen))
            return;
        uint32_t ev;
        {
            std::lock_guard lock(m);
            if (!pending || seq != s)
                return; // already run by a closing
            ev = *std::exchange(pending, std::nullopt);
        }
        dispatchGuarded(ev, gen);
        {
            std::lock_guard lock(m);
            done = s;
        }
        cv.notify_all();
    }

    void dispatchGuarded(uint32_t ev, uint64_t gen) {
        try {
            dispatch(ev, gen);
        } catch (...) {
            route(std::current_exception());
        }
    }

    void dispatch(uint32_t ev, uint64_t gen) {
        // Handlers are copied before the call: one may replace itself while it runs.
        const auto fire = [&](uint32_t bit, const std::function<void(ComPort&)>& handler) {
            if ((ev & bit) && handler && alive(gen)) {
                const auto h = handler;
                h(self);
            }
        };
        if ((ev & comm::EvErr) && alive(gen)) {
            const uint32_t errors = lineErrors();
            if (self.OnError && alive(gen)) {
                const auto h = self.OnError;
                h(self, errors);
            }
        }
        if ((ev & comm::EvRxChar) && alive(gen)) {
            const int count = self.InputCount();
            if (count > 0 && self.OnRxChar && alive(gen)) {
                const auto h = self.OnRxChar;
                h(self, count);
            }
        }
        fire(comm::EvTxEmpty, self.OnTxEmpty);
        fire(comm::EvBreak, self.OnBreak);
        fire(comm::EvRing, self.OnRing);
        fire(comm::EvCts, self.OnCTSChange);
        fire(comm::EvDsr, self.OnDSRChange);
        fire(comm::EvRxFlag, self.OnRxFlag);
        fire(comm::EvRlsd, self.OnRLSDChange);
        fire(comm::EvRx80Full, self.OnRx80Full);
    }

    void route(std::exception_ptr e) {
        if (pumpers > 0) {
            if (!kept)
                kept = e;
            return;
        }
        if (sink()) {
            sink()(e);
            return;
        }
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            pump::warn(std::string("uncaught error in a port notification: ") + x.what());
        } catch (...) {
            pump::warn("uncaught error in a port notification");
        }
    }

    // The failure of an operation: a device that went away also closes the port.
    [[noreturn]] void failed(int code, int err) {
        if (dev && dev->lostError())
            closeLost();
        raise(code, err);
    }

    uint32_t lineErrors() {
        size_t queued = 0;
        uint32_t errors = 0;
        if (const int err = dev->status(queued, errors))
            failed(10, err);
        return errors;
    }
};

ComPort::ComPort() : d_(std::make_unique<Impl>(*this)) {}

ComPort::~ComPort() {
    try {
        d_->close();
    } catch (const std::exception&) {
        // the device is released either way; nobody is left to tell
    }
}

const std::string& ComPort::Port() const {
    return d_->port;
}

void ComPort::SetPort(const std::string& name) {
    if (name == d_->port)
        return;
    d_->port = name;
    if (d_->connected) {
        d_->close();
        d_->open();
    }
}

bool ComPort::Connected() const {
    return d_->connected;
}

void ComPort::SetConnected(bool value) {
    if (value == d_->connected)
        return;
    if (value)
        d_->open();
    else
        d_->close();
}

void ComPort::Close() {
    d_->close();
}

int ComPort::WriteStr(const std::string& data) {
    if (!d_->connected)
        raise(2, EBADF);
    size_t written = 0;
    if (const int err = d_->dev->write(data.data(), data.size(), written))
        d_->failed(2, err);
    return static_cast<int>(written);
}

int ComPort::ReadStr(std::string& data, int count) {
    if (!d_->connected)
        raise(3, EBADF);
    data.resize(static_cast<size_t>(count > 0 ? count : 0));
    size_t got = 0;
    if (const int err = d_->dev->read(data.data(), data.size(), got))
        d_->failed(3, err);
    data.resize(got);
    return static_cast<int>(got);
}

int ComPort::InputCount() {
    if (!d_->connected)
        raise(10, EBADF);
    size_t queued = 0;
    uint32_t errors = 0;
    if (const int err = d_->dev->status(queued, errors))
        d_->failed(10, err);
    return static_cast<int>(queued);
}

ComPort::PumpScope::PumpScope(ComPort& port) : port_(port) {
    ++port_.d_->pumpers;
}

ComPort::PumpScope::~PumpScope() {
    --port_.d_->pumpers;
}

void ComPort::RaisePendingError() {
    if (d_->kept)
        std::rethrow_exception(std::exchange(d_->kept, nullptr));
    if (d_->connected && !d_->closing && d_->dev->lostError())
        d_->failed(3, d_->dev->lostError());
}

void ComPort::SetUncaughtErrorSink(ErrorSink s) {
    sink() = std::move(s);
}

void ComPort::SetDeviceFactory(DeviceFactory f) {
    factory() = std::move(f);
}

} // namespace corvana::device
