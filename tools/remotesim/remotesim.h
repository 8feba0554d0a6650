#pragma once
// A simulated QYX PQ remote control on a pseudo-terminal, for tests, benchmarks and the demo.
//
//   sim::RemoteSimulator sim;                 // opens the pty, starts answering
//   test::TempDir dir;
//   sim.publish(dir.path());                  // fake CP210x 10c4:ea60 "0001" on ttyUSB0 (COM1)
//   sim.tree()->applyEnv();                   // or ScopedEnv with usbDevicesRoot()/devRoot()
//   ... FindBridgePort() == 1, open "COM1", exchange frames ...
//   sim.frames();                             // every frame received, STX..ETX
//
// It answers as a remote does: "$" with the configured device type is acknowledged
// (02 24 06 00 03), any other type gets 02 24 15 00 03; "#" is acknowledged; "!" is checked
// (length, hexadecimal fields, checksum) and answered with its marker echoed (02 21 06 mm 03;
// with NAK 15 instead of ACK when the block is bad), and its data goes into a 32 KB image;
// "%0" is answered with STX "%" + the read-out field + ETX. Other frames get no answer.
// Faults can be switched on at any time. All members are thread-safe; the answering runs on
// the simulator's own thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/remotesim/fakeusbtree.h"

struct termios;

namespace corvana::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

// Frames are numbered from 1 in the order received (since the start or clearFrames()).
struct Faults {
    int silentFrom = 0;     // no answer to frame N and all later ones (1: always silent)
    int wrongFrom = 0;      // frame N and later get the wrong reply
    std::string wrongReply; // empty: the right reply with its third byte replaced by NAK
    int vanishAt = 0;       // frame N makes the remote vanish (pty closed, unplugged)
    size_t splitChunk = 0;  // > 0: replies written in pieces of this many bytes ...
    std::chrono::milliseconds splitGap{3};   // ... this far apart
    std::string extraBytes;                  // appended to every reply
    bool paced = false;                      // 9600-baud line time for the frames received and sent
    std::chrono::milliseconds replyDelay{0}; // the remote's own time before it answers
    std::map<int, std::string> replyFor;     // frame N's reply replaced by these bytes
};

struct FrameRecord {
    std::string bytes;
    SteadyTime received;
    std::optional<SteadyTime> replied; // after the last reply byte was written
    std::string reply;                 // what was sent back (empty: nothing)
};

class RemoteSimulator {
public:
    RemoteSimulator();
    ~RemoteSimulator();
    RemoteSimulator(const RemoteSimulator&) = delete;
    RemoteSimulator& operator=(const RemoteSimulator&) = delete;

    // The pseudo-terminal's device (the side a port opens).
    const std::string& ptyPath() const { return ptyPath_; }

    // Publishes the pty as the tty of a fake CP210x in a fake tree under `dir` (created as
    // needed). The bridge's ttyTarget is set to the pty.
    FakeUsbTree& publish(const std::string& dir, FakeBridge bridge = {});
    FakeUsbTree* tree() { return tree_.get(); }
    // Takes the fake bridge out of the tree, and puts it back.
    void unplug();
    void plug();

    void setDeviceType(const std::string& code);    // "00" at start
    void setReadOutField(const std::string& field); // "007B" at start
    void setFaults(const Faults& f);
    Faults faults() const;
    // Writes bytes of its own accord.
    void send(const std::string& bytes);
    // Closes the pseudo-terminal at once (and unplugs); returns when it is closed.
    void vanish();
    bool vanished() const;

    std::vector<std::string> frames() const;
    std::vector<FrameRecord> records() const;
    size_t frameCount() const;
    bool waitForFrames(size_t n, std::chrono::milliseconds timeout) const;
    void clearFrames();
    // The remote's memory as the good blocks wrote it; FF where nothing was written.
    std::vector<uint8_t> image() const;
    // The line settings the port left on the pty.
    bool lineSettings(struct termios& t) const;

    // Called on the simulator's thread for every frame after it was answered.
    void setFrameListener(std::function<void(const FrameRecord&)> listener);

    // The 9600-baud time of one byte with start and stop bit.
    static constexpr std::chrono::nanoseconds kByteTime{10'000'000'000LL / 9600};

private:
    void run();
    void handleFrame(const std::string& frame, SteadyTime lineEnd);
    std::string answer(const std::string& frame);
    bool writeReply(const std::string& reply, const Faults& f, SteadyTime lineEnd);
    bool writeAt(const char* data, size_t len, SteadyTime when);
    bool sleepUntil(SteadyTime when);
    void runCommands();
    void closePty();

    int master_ = -1;
    int slave_ = -1; // kept open so the pty survives a port closing it
    int wake_ = -1;
    std::string ptyPath_;
    std::unique_ptr<FakeUsbTree> tree_;
    std::optional<FakeBridge> bridge_;

    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    std::string deviceType_ = "00";
    std::string readOut_ = "007B";
    Faults faults_;
    std::vector<FrameRecord> records_;
    std::vector<uint8_t> image_;
    std::vector<std::string> outbox_;
    bool vanishRequested_ = false;
    bool vanished_ = false;
    bool stop_ = false;
    std::function<void(const FrameRecord&)> listener_;

    // Simulator thread only.
    std::string rx_;
    SteadyTime rxLine_{}; // when the receive line is free again (paced)
    std::thread thread_;
};

} // namespace corvana::sim
