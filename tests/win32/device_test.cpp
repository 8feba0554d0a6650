// The device link on the Windows back ends under wine: the Win32 serial port on the COM port
// that wine maps to the simulator's pseudo-terminal, the frame protocol over it, and the bridge
// discovery through the stand-in CP210xManufacturing.dll and the "PortName" of the registry.
#include "tests/win32/winsim.h"

#include <algorithm>
#include <gtest/gtest.h>

#include "device/bridgediscovery.h"
#include "device/eventpump.h"
#include "device/frames.h"
#include "device/remotelink.h"
#include "util/errors.h"

using namespace corvana;
using namespace corvana::device;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values)
        s += static_cast<char>(v);
    return s;
}

template <typename F> EComPortError errorOf(F&& f) {
    try {
        f();
    } catch (const EComPortError& e) {
        return e;
    }
    ADD_FAILURE() << "no port error";
    return EComPortError("", 0, 0);
}

bool runsOnWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Pumps until `done` holds or five seconds have passed.
bool pumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pump::processEventsFor(std::chrono::milliseconds(10));
    }
    return true;
}

bool waitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class WinDevice : public ::testing::Test {
protected:
    test::WinSim sim;
};

// ---- serial port ----

TEST_F(WinDevice, OpeningAPortThatDoesNotExistRaisesErrorOneWithCodeTwo) {
    ComPort port;
    port.SetPort("COM251");
    const auto e = errorOf([&] { port.SetConnected(true); });
    EXPECT_EQ(e.errorCode, 1);
    EXPECT_EQ(e.osError, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(port.Connected());
}

TEST_F(WinDevice, TheOpenIsExclusive) {
    ComPort port, other;
    port.SetPort(sim.portName());
    other.SetPort(sim.portName());
    port.Open();
    ASSERT_TRUE(port.Connected());
    if (runsOnWine()) {
        // Wine asks no sharing of a serial device; real Windows refuses a held port.
        port.Close();
        GTEST_SKIP() << "wine does not refuse a second open of a serial device";
    }
    const auto e = errorOf([&] { other.Open(); });
    EXPECT_EQ(e.errorCode, 1);
    // Windows refuses a held port with access denied; wine says sharing violation.
    EXPECT_TRUE(e.osError == ERROR_ACCESS_DENIED || e.osError == ERROR_SHARING_VIOLATION)
        << e.osError;
    EXPECT_FALSE(other.Connected());
    port.Close();
    other.Open();
    EXPECT_TRUE(other.Connected());
}

TEST_F(WinDevice, ReceivedBytesAreAnnouncedOnTheOwnerBeforeTheEventCharacter) {
    ComPort port;
    port.SetPort(sim.portName());
    std::vector<std::string> seen;
    std::string got;
    const auto owner = std::this_thread::get_id();
    bool onOwner = true;
    port.OnRxChar = [&](ComPort& p, int n) {
        onOwner = onOwner && std::this_thread::get_id() == owner;
        EXPECT_GT(n, 0);
        std::string data;
        p.ReadStr(data, n);
        got += data;
        seen.push_back("rx");
    };
    port.OnRxFlag = [&](ComPort&) { seen.push_back("flag"); };
    port.Open();
    ASSERT_EQ(sim.command("send 41 00 42"), "ok");
    ASSERT_TRUE(pumpUntil([&] {
        return got.size() == 3 && std::find(seen.begin(), seen.end(), "flag") != seen.end();
    }));
    EXPECT_EQ(got, std::string("A\0B", 3));
    EXPECT_EQ(seen.front(), "rx");
    EXPECT_TRUE(onOwner);
}

TEST_F(WinDevice, ReadStrShortensAndClosingDiscardsWaitingBytes) {
    ComPort port;
    port.SetPort(sim.portName());
    port.Open();
    ASSERT_EQ(sim.command("send 61 62 63"), "ok");
    ASSERT_TRUE(waitUntil([&] { return port.InputCount() == 3; }));
    std::string data = "longer than what came";
    EXPECT_EQ(port.ReadStr(data, 2), 2);
    EXPECT_EQ(data, "ab");
    port.Close();
    EXPECT_FALSE(port.Connected());
    port.Close(); // closed already: nothing happens
    port.Open();
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(WinDevice, OperationsOnAClosedPortRaiseTheirErrors) {
    ComPort port;
    std::string data;
    EXPECT_EQ(errorOf([&] { port.WriteStr("x"); }).errorCode, 2);
    EXPECT_EQ(errorOf([&] { port.ReadStr(data, 1); }).errorCode, 3);
    EXPECT_EQ(errorOf([&] { port.InputCount(); }).errorCode, 10);
}

// ---- frame protocol ----

TEST_F(WinDevice, DeviceTypeCheckPrepareAndBlocksAreAnswered) {
    RemoteLink link;
    link.ComPort1.SetPort(sim.portName());
    link.ComPort1.SetConnected(true);
    link.Senden(DeviceTypeFrame("00"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, PositiveReply('$'));
    link.Senden(PrepareFrame());
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, PositiveReply('#'));
    const std::vector<uint8_t> data{0x12, 0x34, 0x56};
    link.Senden(BlockFrame(0x1000, data, true));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, BlockReply(true));
    link.ComPort1.Close();
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], "02 24 30 30 03");
}

TEST_F(WinDevice, AWrongTypeIsRefusedAndASplitReplyIsJoined) {
    ASSERT_EQ(sim.command("type 03"), "ok");
    ASSERT_EQ(sim.command("split 1"), "ok");
    RemoteLink link;
    link.ComPort1.SetPort(sim.portName());
    link.ComPort1.SetConnected(true);
    link.Senden(DeviceTypeFrame("00"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, bytes({0x02, 0x24, 0x15, 0x00, 0x03}));
}

TEST_F(WinDevice, ASilentRemoteEndsTheWaitByTheTimeOutRule) {
    ASSERT_EQ(sim.command("silent"), "ok");
    ScaledClock fast(50);
    RemoteLink link(nullptr, nullptr, &fast);
    link.ComPort1.SetPort(sim.portName());
    link.ComPort1.SetConnected(true);
    link.Senden(DeviceTypeFrame("00"));
    const Millis start = fast.now();
    EXPECT_FALSE(link.Empfangen(5, 5));
    EXPECT_GE(fast.now() - start, std::chrono::seconds(6));
}

TEST_F(WinDevice, TheCableVanishingFailsTheNextOperationAndClosesThePort) {
    ComPort port;
    port.SetPort(sim.portName());
    port.Open();
    ASSERT_EQ(sim.command("vanish"), "ok");
    std::string data;
    const auto e = errorOf([&] {
        for (int i = 0; i < 50; ++i) {
            port.WriteStr(DeviceTypeFrame("00"));
            port.ReadStr(data, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_TRUE(e.errorCode == 2 || e.errorCode == 3) << e.what();
    EXPECT_FALSE(port.Connected());
}

// ---- bridge discovery ----

TEST_F(WinDevice, DiscoveryFindsTheSimulatorsPortThroughLibraryAndRegistry) {
    sim.publishBridge();
    StringList log;
    BridgeDiscovery discovery(&log);
    EXPECT_EQ(discovery.FindBridgePort(), sim.portNumber());
    const auto& lines = log.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "0");
    EXPECT_EQ(lines[1], "1");
    EXPECT_EQ(lines.back(), "ComPort:" + std::to_string(sim.portNumber()));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "VID : 4292"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "PID : 60000"), lines.end());

    // The port it names opens and talks.
    RemoteLink link;
    link.ComPort1.SetPort("COM" + std::to_string(discovery.FindBridgePort()));
    link.ComPort1.SetConnected(true);
    link.Senden(DeviceTypeFrame("00"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, PositiveReply('$'));
}

TEST_F(WinDevice, OnlyTheFirstBridgeIsLookedUpAndBlanksBecomeUnderscores) {
    sim.publishBridge("AB 12", "", "10c4:ea60:0002:second");
    BridgeDiscovery discovery;
    EXPECT_EQ(discovery.FindBridgePort(), sim.portNumber());
    // A first bridge without a key of its own hides the simulator's.
    sim.publishBridge("AB 12", "10c4:ea60:0099:first");
    EXPECT_EQ(discovery.FindBridgePort(), -1);
}

TEST_F(WinDevice, AFailingLibraryStepYieldsNone) {
    for (const char* step : {"open", "vid", "pid", "serial"}) {
        SCOPED_TRACE(step);
        test::ScopedEnv env("CORVANA_STANDIN_BRIDGES", std::string("10c4:ea60:WSX:CP2102:") + step);
        StringList log;
        BridgeDiscovery discovery(&log);
        EXPECT_EQ(discovery.FindBridgePort(), -1);
        EXPECT_EQ(log.lines().back(), "ComPort:-1");
    }
    test::ScopedEnv none("CORVANA_STANDIN_BRIDGES", "");
    BridgeDiscovery discovery;
    EXPECT_EQ(discovery.FindBridgePort(), -1);
}

} // namespace
