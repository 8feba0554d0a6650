// Any bytes as what a remote control answers on its cable, cut into arbitrary pieces, each
// piece one receive notification (OnRxChar) of the port. The real port object, its event
// thread and the hand-over to the owning thread carry them; the real programming run (three
// blocks) or the device read-out drives the exchanges, waits and reply matching.
//
// Input: a mode byte (even: programming run, odd: read-out), then one reply per request the
// run sends: a length byte L (0xFF: no answer at all), L bytes, and a cut byte c (0: one piece;
// below 0x80: pieces of c % 16 + 1 bytes; else pieces of 1 to 8 bytes drawn from c).
//
// The waits' clock stands still while answer bytes are on their way and jumps a second at
// each look while the line is idle, so a silent remote times out at once and a talking one
// never does. Checked: each notification delivers exactly one piece, in order; RxBuffer
// holds what arrived since the last request; every outcome agrees with the replies.
#include "device/comport.h"
#include "device/eventpump.h"
#include "device/frames.h"
#include "device/remotelink.h"
#include "fuzz_check.h"
#include "info/readout.h"
#include "util/errors.h"
#include "wizard/logic/programmingrun.h"

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

using namespace corvana;
using corvana::fuzz::check;
namespace comm = corvana::platform::comm;

namespace {

struct Reply {
    bool silent = false;
    std::vector<std::string> pieces;
};

// The remote on the other end of the cable: each request written takes the next reply.
class ScriptedRemote {
public:
    std::mutex m;
    std::condition_variable cv;
    std::deque<Reply> replies;
    std::deque<std::string> pieces; // on their way
    std::string inQueue;            // arrived, not yet read
    bool cancelled = false;
    bool closing = false; // a hand-over still pending runs while the port closes

    // Owner thread: what was read, piece by piece, and per request what arrived after it.
    std::vector<std::string> read;
    std::vector<std::string> sinceRequest;
    std::vector<std::string> requests;

    bool idle() {
        std::lock_guard lock(m);
        return pieces.empty() && inQueue.empty();
    }
};

class Device : public platform::SerialDevice {
public:
    explicit Device(ScriptedRemote& r) : r_(r) {}
    int setupBuffers(size_t, size_t) override { return 0; }
    int setLine(const platform::LineSettings&) override { return 0; }
    int setTimeouts(const platform::Timeouts&) override { return 0; }
    int setEventMask(uint32_t) override { return 0; }
    int waitEvent(uint32_t& events) override {
        std::unique_lock lock(r_.m);
        // The next piece arrives only once the last one has been read.
        r_.cv.wait(lock,
                   [&] { return r_.cancelled || (r_.inQueue.empty() && !r_.pieces.empty()); });
        if (r_.cancelled) {
            r_.cancelled = false;
            events = 0;
            return 0;
        }
        r_.inQueue = std::move(r_.pieces.front());
        r_.pieces.pop_front();
        events = comm::EvRxChar;
        return 0;
    }
    void cancelWait() override {
        std::lock_guard lock(r_.m);
        r_.cancelled = true;
        r_.cv.notify_all();
    }
    int write(const void* data, size_t len, size_t& written) override {
        written = len;
        r_.requests.emplace_back(static_cast<const char*>(data), len);
        r_.sinceRequest.emplace_back();
        std::lock_guard lock(r_.m);
        if (!r_.replies.empty()) {
            Reply reply = std::move(r_.replies.front());
            r_.replies.pop_front();
            for (auto& p : reply.pieces)
                r_.pieces.push_back(std::move(p));
        }
        r_.cv.notify_all();
        return 0;
    }
    int read(void* data, size_t len, size_t& got) override {
        std::lock_guard lock(r_.m);
        got = std::min(len, r_.inQueue.size());
        std::memcpy(data, r_.inQueue.data(), got);
        const std::string piece = r_.inQueue.substr(0, got);
        r_.inQueue.erase(0, got);
        r_.read.push_back(piece);
        check(!r_.sinceRequest.empty());
        // What arrives while the port closes came after the last comparison.
        if (!r_.closing)
            r_.sinceRequest.back() += piece;
        r_.cv.notify_all();
        return 0;
    }
    int status(size_t& queued, uint32_t& errors) override {
        std::lock_guard lock(r_.m);
        queued = r_.inQueue.size();
        errors = 0;
        return 0;
    }
    int abort() override {
        std::lock_guard lock(r_.m);
        r_.closing = true;
        return 0;
    }
    void discard() override {
        std::lock_guard lock(r_.m);
        r_.pieces.clear();
        r_.inQueue.clear();
    }
    int lostError() const override { return 0; }

private:
    ScriptedRemote& r_;
};

class ScriptClock : public device::Clock {
public:
    explicit ScriptClock(ScriptedRemote& r) : r_(r) {}
    device::Millis now() override {
        if (r_.idle())
            t_ += device::Millis(1000);
        return t_;
    }
    device::Millis realDelay(device::Millis span) override {
        return r_.idle() ? device::Millis(0) : std::min(span, device::Millis(20));
    }

private:
    ScriptedRemote& r_;
    device::Millis t_{0};
};

std::deque<Reply> parseReplies(const uint8_t* data, size_t size, size_t at) {
    std::deque<Reply> out;
    while (at < size && out.size() < 16) {
        Reply r;
        const uint8_t len = data[at++];
        if (len == 0xFF) {
            r.silent = true;
            out.push_back(r);
            continue;
        }
        const size_t n = std::min<size_t>(len, size - at);
        const std::string bytes(reinterpret_cast<const char*>(data) + at, n);
        at += n;
        const uint8_t c = at < size ? data[at++] : 0;
        uint32_t seed = c;
        for (size_t p = 0; p < bytes.size();) {
            size_t piece = bytes.size();
            if (c != 0 && c < 0x80) {
                piece = c % 16 + 1u;
            } else if (c >= 0x80) {
                seed = seed * 1103515245u + 12345u;
                piece = (seed >> 16) % 8 + 1;
            }
            piece = std::min(piece, bytes.size() - p);
            r.pieces.push_back(bytes.substr(p, piece));
            p += piece;
        }
        out.push_back(std::move(r));
    }
    return out;
}

device::ProgramLoop& loop() {
    static int argc = 1;
    static char name[] = "fuzz_devicelink";
    static char* argv[] = {name, nullptr};
    static device::ProgramLoop l(argc, argv);
    return l;
}

std::string at(const std::vector<std::string>& v, size_t i) {
    return i < v.size() ? v[i] : std::string();
}

void runProgramming(ScriptedRemote& remote, device::RemoteLink& link, StringList& memo1,
                    StringList& memo2) {
    static const MemoryImage image = [] {
        MemoryImage m;
        m.se_address2 = "10BF"; // three blocks
        return m;
    }();
    ProgrammingRun run(link, image, &memo1, &memo2);
    run.givenPort = 1;
    RunDisplay quiet;
    const RunResult r = run.Programme("00", quiet);
    const auto& got = remote.sinceRequest;
    const std::string typeAck = device::PositiveReply(device::frame::kDeviceType);
    const std::string prepared = device::PositiveReply(device::frame::kPrepare);
    switch (r.outcome) {
    case RunOutcome::NoAnswer:
        check(at(got, 0).size() < 5);
        break;
    case RunOutcome::WrongHardware:
        check(at(got, 0).size() >= 5 && at(got, 0) != typeAck);
        break;
    case RunOutcome::PrepareSilent:
        check(at(got, 0) == typeAck && at(got, 1).size() < 5);
        break;
    case RunOutcome::PrepareWrong:
        check(at(got, 0) == typeAck && at(got, 1).size() >= 5 && at(got, 1) != prepared);
        break;
    case RunOutcome::BlockSilent:
    case RunOutcome::Programmed: {
        check(at(got, 0) == typeAck && at(got, 1) == prepared);
        std::vector<int> wrong;
        for (int b = 1; b <= r.sent; ++b) {
            const std::string reply = at(got, static_cast<size_t>(b) + 1);
            if (reply.size() < 5) {
                check(r.outcome == RunOutcome::BlockSilent && b == r.sent);
                break;
            }
            const std::string expected =
                b == 3 ? device::BlockReply(true) : device::BlockReply(false);
            if (reply != expected)
                wrong.push_back(b);
        }
        check(wrong == r.wrong);
        check(r.outcome == RunOutcome::BlockSilent || (r.sent == 3 && !link.ComPort1.Connected()));
        break;
    }
    default:
        check(false);
    }
}

void runReadOut(ScriptedRemote& remote, device::RemoteLink& link) {
    info::DeviceReadOut readOut(link);
    readOut.givenPort = 1;
    info::ReadOutDisplay quiet;
    info::ReadOutResult r;
    try {
        r = readOut.OpenFernbedienung(quiet);
    } catch (const EConvertError&) {
        // The characters after "%" are not hexadecimal: the port stays open, as in the window.
        check(at(remote.sinceRequest, 0).size() >= 7);
        check(link.ComPort1.Connected());
        return;
    }
    const auto& got = remote.sinceRequest;
    const std::string ack = device::PositiveReply(device::frame::kDeviceType);
    switch (r.outcome) {
    case info::Outcome::NoReadOutAnswer:
        check(at(got, 0).size() < 7);
        break;
    case info::Outcome::Identified:
        check(at(got, static_cast<size_t>(r.acknowledged) + 1) == ack);
        check(r.ReadOutCode == info::DecodeReadOut(at(got, 0)));
        [[fallthrough]];
    case info::Outcome::NoTypeAcknowledged:
    case info::Outcome::ProbeUnanswered:
        for (int p = 1; p < r.probes; ++p)
            check(at(got, static_cast<size_t>(p)).size() >= 5 &&
                  at(got, static_cast<size_t>(p)) != ack);
        check(!link.ComPort1.Connected());
        break;
    default:
        check(false);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    loop();
    if (size == 0)
        return 0;
    ScriptedRemote remote;
    remote.replies = parseReplies(data, size, 1);
    device::ComPort::SetDeviceFactory(
        [&](const std::string&, int&) { return std::make_unique<Device>(remote); });
    ScriptClock clock(remote);
    StringList memo1, memo2;
    {
        device::RemoteLink link(&memo1, &memo2, &clock);
        if (data[0] % 2 == 0)
            runProgramming(remote, link, memo1, memo2);
        else
            runReadOut(remote, link);
        link.ComPort1.Close();
    }
    device::ComPort::SetDeviceFactory(nullptr);

    // One notification per piece, each logged as it came.
    std::vector<std::string> logged;
    for (const auto& line : memo1.lines())
        if (line.rfind("---", 0) == 0)
            logged.push_back(line.substr(3));
    check(logged == remote.read);
    for (const auto& piece : remote.read)
        check(!piece.empty());
    return 0;
}
