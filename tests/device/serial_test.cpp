#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "device/comport.h"
#include "platform/sysio.h"
#include "tests/device/simfixture.h"
#include "util/errors.h"

using namespace corvana;
using device::ComPort;

namespace {

class Serial : public test::SimTest {
protected:
    ~Serial() override { platform::setFaultHook(nullptr); }

    // The error a call raises, as code, platform code and text.
    template <typename F> static EComPortError errorOf(F&& f) {
        try {
            f();
        } catch (const EComPortError& e) {
            return e;
        }
        ADD_FAILURE() << "no port error";
        return EComPortError("", 0, 0);
    }

    ComPort port;
};

TEST_F(Serial, OpenSetsTheFixedLineSettings) {
    port.SetPort("COM1");
    port.SetConnected(true);
    ASSERT_TRUE(port.Connected());
    termios t{};
    ASSERT_TRUE(sim.lineSettings(t));
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | INPCK | ISTRIP | ICRNL | INLCR | IGNCR | PARMRK));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(Serial, OpeningAPortThatDoesNotExistRaisesErrorOne) {
    for (const char* name : {"COM7", "COM0", "LPT1", "COMX"}) {
        SCOPED_TRACE(name);
        port.SetPort(name);
        const auto e = errorOf([&] { port.SetConnected(true); });
        EXPECT_EQ(e.errorCode, 1);
        EXPECT_EQ(e.osError, ENOENT);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
        EXPECT_FALSE(port.Connected());
    }
}

TEST_F(Serial, APortHeldByAnotherProcessIsDeniedAlsoToRoot) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls in the child of a threaded process.
        const int fd = open(sim.ptyPath().c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        [[maybe_unused]] auto w = write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    const auto e = errorOf([&] { port.SetConnected(true); });
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(e.errorCode, 1);
    EXPECT_EQ(e.osError, EACCES);
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 13)");
    EXPECT_FALSE(port.Connected());
    // Once the holder is gone, the port opens.
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
}

TEST_F(Serial, ASecondPortObjectOnTheSameDeviceIsDenied) {
    port.Open();
    ComPort other;
    const auto e = errorOf([&] { other.Open(); });
    EXPECT_EQ(e.errorCode, 1);
    EXPECT_EQ(e.osError, EACCES);
    port.Close();
    other.Open();
    EXPECT_TRUE(other.Connected());
}

TEST_F(Serial, SettingCurrentValuesDoesNotReopenAndANewNameDoes) {
    sim::RemoteSimulator second;
    sim::FakeBridge b;
    b.busPath = "1-2";
    b.serial = "0002";
    b.ttyIndex = 1;
    second.publish(simDir.path(), b);

    port.Open();
    sim.send("xyz");
    // Bytes waiting in the driver survive anything but a reopening, which discards them.
    ASSERT_TRUE(waitUntil([&] { return port.InputCount() == 3; }));
    port.SetConnected(true);
    port.SetPort("COM1");
    EXPECT_EQ(port.InputCount(), 3);

    port.SetPort("COM2");
    EXPECT_EQ(port.Port(), "COM2");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.InputCount(), 0);
    port.WriteStr(std::string("\x02$00\x03", 5));
    EXPECT_TRUE(second.waitForFrames(1, std::chrono::seconds(2)));
    // The first device was released.
    ComPort first;
    first.Open();
    EXPECT_TRUE(first.Connected());
}

TEST_F(Serial, ClosingDiscardsWaitingBytes) {
    port.Open();
    sim.send("abc");
    ASSERT_TRUE(waitUntil([&] { return port.InputCount() == 3; }));
    port.Close();
    EXPECT_FALSE(port.Connected());
    port.Close(); // closed already: nothing happens
    port.Open();
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(Serial, ClosingRunsTheHandOverTheEventThreadIsBlockedOn) {
    std::string got;
    port.OnRxChar = [&](ComPort& p, int n) { p.ReadStr(got, n); };
    port.Open();
    sim.send("hi");
    // The event thread now waits for a dispatch that only pumping or closing can run.
    ASSERT_TRUE(waitUntil([&] { return port.InputCount() == 2; }));
    port.Close();
    EXPECT_EQ(got, "hi");
    EXPECT_FALSE(port.Connected());
}

TEST_F(Serial, NotificationsRunOnTheOwnerInDispatchOrder) {
    std::vector<std::string> seen;
    const auto owner = std::this_thread::get_id();
    bool onOwner = true;
    port.OnRxChar = [&](ComPort& p, int n) {
        onOwner = onOwner && std::this_thread::get_id() == owner;
        std::string data;
        p.ReadStr(data, n);
        seen.push_back("rx:" + data);
    };
    port.OnRxFlag = [&](ComPort&) { seen.push_back("flag"); };
    port.OnTxEmpty = [&](ComPort&) { seen.push_back("txempty"); };
    port.Open();

    port.WriteStr("x");
    ASSERT_TRUE(pumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"txempty"});

    // A batch carrying the event character: the bytes are announced before the flag.
    seen.clear();
    const std::string withNul("A\0B", 3);
    sim.send(withNul);
    ASSERT_TRUE(pumpUntil([&] {
        std::string all;
        for (const auto& s : seen)
            if (s.rfind("rx:", 0) == 0)
                all += s.substr(3);
        return all == withNul && !seen.empty() && seen.back() != "txempty";
    }));
    ASSERT_TRUE(
        pumpUntil([&] { return std::find(seen.begin(), seen.end(), "flag") != seen.end(); }));
    size_t nulAt = seen.size(), flagAt = seen.size();
    for (size_t i = 0; i < seen.size(); ++i) {
        if (nulAt == seen.size() && seen[i].find('\0') != std::string::npos)
            nulAt = i;
        if (flagAt == seen.size() && seen[i] == "flag")
            flagAt = i;
    }
    EXPECT_LT(nulAt, flagAt);
    EXPECT_LT(flagAt, seen.size());
    EXPECT_TRUE(onOwner);
}

TEST_F(Serial, SeparateArrivalsEachAnnounceTheirBytes) {
    std::string got;
    int calls = 0;
    port.OnRxChar = [&](ComPort& p, int n) {
        EXPECT_GT(n, 0);
        std::string data;
        EXPECT_EQ(p.ReadStr(data, n), n);
        got += data;
        ++calls;
    };
    port.Open();
    sim.send("1");
    ASSERT_TRUE(pumpUntil([&] { return got.size() == 1; }));
    sim.send("2");
    ASSERT_TRUE(pumpUntil([&] { return got.size() == 2; }));
    EXPECT_EQ(got, "12");
    EXPECT_EQ(calls, 2);
}

TEST_F(Serial, ReadStrShortensToWhatArrived) {
    port.Open();
    sim.send("ab");
    ASSERT_TRUE(waitUntil([&] { return port.InputCount() == 2; }));
    std::string data = "garbage that is longer";
    EXPECT_EQ(port.ReadStr(data, 10), 2);
    EXPECT_EQ(data, "ab");
    EXPECT_EQ(port.ReadStr(data, 10), 0);
    EXPECT_EQ(data, "");
}

TEST_F(Serial, ClosingFromInsideANotificationDoesNotDeadlock) {
    port.OnRxChar = [&](ComPort& p, int) { p.Close(); };
    bool flagAfterClose = false;
    port.OnRxFlag = [&](ComPort&) { flagAfterClose = true; };
    port.Open();
    sim.send(std::string("\0", 1));
    ASSERT_TRUE(pumpUntil([&] { return !port.Connected(); }));
    EXPECT_FALSE(flagAfterClose); // the rest of the batch belongs to a closed port
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(Serial, AnErrorInANotificationOutsideAWaitGoesToTheSink) {
    std::string reported;
    ComPort::SetUncaughtErrorSink([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            reported = x.what();
        }
    });
    port.OnRxChar = [&](ComPort&, int) { throw EConvertError("kaputt"); };
    port.Open();
    sim.send("z");
    const bool seen = pumpUntil([&] { return !reported.empty(); });
    ComPort::SetUncaughtErrorSink(nullptr);
    ASSERT_TRUE(seen);
    EXPECT_EQ(reported, "kaputt");
    EXPECT_TRUE(port.Connected());
}

TEST_F(Serial, OperationsOnAClosedPortRaiseTheirErrors) {
    std::string data;
    EXPECT_EQ(errorOf([&] { port.WriteStr("x"); }).errorCode, 2);
    EXPECT_EQ(errorOf([&] { port.ReadStr(data, 1); }).errorCode, 3);
    EXPECT_EQ(errorOf([&] { port.InputCount(); }).errorCode, 10);
}

TEST_F(Serial, TheCableVanishingBeforeAWriteGivesTheWriteErrorAndClosesThePort) {
    port.Open();
    sim.vanish();
    const auto e = errorOf([&] { port.WriteStr(std::string("\x02#\0\x03", 4)); });
    EXPECT_EQ(e.errorCode, 2);
    EXPECT_EQ(e.osError, EIO);
    EXPECT_STREQ(e.what(), "WriteFile function failed (win error code: 5)");
    EXPECT_FALSE(port.Connected());
    // The device node went with it.
    EXPECT_EQ(errorOf([&] { port.Open(); }).osError, ENOENT);
}

struct StepFault {
    const char* call;
    int err;
    int code;
    const char* text;
};

TEST_F(Serial, ARefusedOpeningStepClosesTheDeviceAgain) {
    for (const StepFault& f :
         {StepFault{"tcsetattr", EINVAL, 7, "SetCommState function failed (win error code: 22)"},
          StepFault{"tcgetattr", ENOTTY, 7, "SetCommState function failed (win error code: 25)"},
          StepFault{"flock", EIO, 1, "Unable to open com port (win error code: 5)"}}) {
        SCOPED_TRACE(f.call);
        platform::setFaultHook(
            [&](const char* call) { return std::string(call) == f.call ? f.err : 0; });
        const auto e = errorOf([&] { port.Open(); });
        platform::setFaultHook(nullptr);
        EXPECT_EQ(e.errorCode, f.code);
        EXPECT_STREQ(e.what(), f.text);
        EXPECT_FALSE(port.Connected());
        port.Open(); // nothing was left holding the device
        port.Close();
    }
}

TEST_F(Serial, AFailedAbortOnClosingIsRaisedAfterTheDeviceIsReleased) {
    port.Open();
    platform::setFaultHook(
        [](const char* call) { return std::string(call) == "tcflush" ? EPERM : 0; });
    const auto e = errorOf([&] { port.Close(); });
    platform::setFaultHook(nullptr);
    EXPECT_EQ(e.errorCode, 5);
    EXPECT_STREQ(e.what(), "PurgeComm function failed (win error code: 1)");
    EXPECT_FALSE(port.Connected());
    port.Open();
    EXPECT_TRUE(port.Connected());
}

} // namespace
