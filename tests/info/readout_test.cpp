// The read-out without a window: the decoding, the probes, the outcomes and what the display
// is told in which order, against the simulated remote.
#include <QObject>
#include <QTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "device/frames.h"
#include "device/remotelink.h"
#include "device/waitclock.h"
#include "info/readout.h"
#include "tests/device/simfixture.h"
#include "util/errors.h"

using namespace corvana;
using namespace corvana::test;
using info::Outcome;
using ::testing::ElementsAre;

namespace {

const std::string kReadOut("\x02%0\x03");
std::string probe(int n) {
    return std::string("\x02$0") + char('0' + n) + "\x03";
}

struct DecodeRow {
    std::string reply;
    std::string code; // empty: a conversion error with `error`
    std::string error;
};

TEST(DecodeReadOut, Rows) {
    const std::vector<DecodeRow> rows = {
        {"\x02%007B\x03", "123", ""},
        {"\x02%0FFF\x03", "4095", ""}, // not cut to three digits
        {"\x02%000A\x03", "010", ""},
        {"\x02%0000\x03", "000", ""},
        {"\x02%007b\x03", "123", ""},
        {"\x02%F07B\x03", "123", ""},         // the first field character is not part of it
        {"\x02%007B\x03\x03\x03", "123", ""}, // bytes after the reply do not matter
        {"%0FFF\x03\x03", "4095", ""},        // "%" first: all four characters count
        {"\x02\x02%007B\x03", "123", ""},     // "%" third: only the last two count
        {"\x02X007B\x03", "", "'$\x02X00' ist kein gültiger Integerwert"},
        {"\x02%0G7B\x03", "", "'$G7B' ist kein gültiger Integerwert"},
        {"\x02\x02\x02\x02\x02\x02%", "", "'$' ist kein gültiger Integerwert"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.reply);
        if (r.error.empty()) {
            EXPECT_EQ(info::DecodeReadOut(r.reply), r.code);
            continue;
        }
        try {
            info::DecodeReadOut(r.reply);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), r.error);
        }
    }
}

TEST(Designation, JoinsTypeNumberAndCode) {
    EXPECT_EQ(info::Designation("81", "123"), "QYX81123-PQ");
    EXPECT_EQ(info::Designation("85", "4095"), "QYX854095-PQ");
    EXPECT_EQ(info::Designation("", "123"), ""); // no type number, no designation
}

// Records what the read-out tells the display, and whether the port was open then.
struct RecordingDisplay : info::ReadOutDisplay {
    explicit RecordingDisplay(device::ComPort& p) : port(p) {}
    void ClearFields() override { calls.push_back("clear"); }
    void Busy() override {
        calls.push_back("busy");
        if (auto once = std::exchange(onBusy, nullptr))
            once();
    }
    void ShowResult(const std::string& d, const std::string& v) override {
        calls.push_back("result " + d + " " + v);
    }
    void Ready() override { calls.push_back(port.Connected() ? "ready (open)" : "ready"); }
    void NoHardware() override {
        calls.push_back(port.Connected() ? "no hardware (open)" : "no hardware");
    }
    device::ComPort& port;
    std::vector<std::string> calls;
    std::function<void()> onBusy;
};

class ReadOutTest : public SimTest {
protected:
    ReadOutTest() { link.setClock(&clock); }

    info::ReadOutResult run() {
        display.calls.clear();
        sim.clearFrames();
        return readOut.OpenFernbedienung(display);
    }
    std::vector<std::string> probes(int count) {
        std::vector<std::string> f{kReadOut};
        for (int n = 0; n < count; ++n)
            f.push_back(probe(n));
        return f;
    }
    // The simulator's bridge as it is, changed by `change`.
    void replug(const std::function<void(sim::FakeBridge&)>& change) {
        sim::FakeBridge b = tree->bridges().at(0);
        change(b);
        tree->add(b);
    }

    device::ScaledClock clock{20}; // a six-second time-out in 0.3 s
    device::RemoteLink link;
    info::DeviceReadOut readOut{link};
    RecordingDisplay display{link.ComPort1};
};

struct TypeRow {
    std::string deviceType;
    int probes;
    std::string hardwareVersion, typeNumber, designation;
};

TEST_F(ReadOutTest, AcknowledgedTypeGivesDesignation) {
    const std::vector<TypeRow> rows = {
        {"00", 1, "TV1", "81", "QYX81123-PQ"},
        {"01", 2, "VCR1", "82", "QYX82123-PQ"},
        {"02", 3, "DVD1", "85", "QYX85123-PQ"},
        {"03", 4, "STB1", "83", "QYX83123-PQ"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.deviceType);
        sim.setDeviceType(r.deviceType);
        const auto result = run();
        EXPECT_EQ(result.outcome, Outcome::Identified);
        EXPECT_EQ(result.port, 1);
        EXPECT_EQ(result.ReadOutCode, "123");
        EXPECT_EQ(result.probes, r.probes);
        EXPECT_EQ(result.acknowledged, r.probes - 1);
        EXPECT_EQ(result.HardwareVersion, r.hardwareVersion);
        EXPECT_EQ(result.TypeNumber, r.typeNumber);
        EXPECT_EQ(result.Designation, r.designation);
        EXPECT_EQ(readOut.ReadOutCode, "123");
        EXPECT_EQ(readOut.HardwareVersion, r.hardwareVersion);
        EXPECT_EQ(readOut.TypeNumber, r.typeNumber);
        EXPECT_EQ(sim.frames(), probes(r.probes));
        EXPECT_THAT(display.calls, ElementsAre("clear", "busy",
                                               "result " + r.designation + " " + r.hardwareVersion,
                                               "ready (open)"));
        EXPECT_FALSE(link.ComPort1.Connected());
    }
}

TEST_F(ReadOutTest, CodeOfFourDigitsIsKeptWhole) {
    sim.setReadOutField("0FFF");
    EXPECT_EQ(run().Designation, "QYX814095-PQ");
    sim.setReadOutField("000A");
    EXPECT_EQ(run().Designation, "QYX81010-PQ");
}

TEST_F(ReadOutTest, TypeWithoutNumberShowsItsDigitAndNoDesignation) {
    run(); // a TV1 first: its type number must not be lent to the next remote
    ASSERT_EQ(readOut.TypeNumber, "81");
    sim.setDeviceType("07");
    const auto result = run();
    EXPECT_EQ(result.outcome, Outcome::Identified);
    EXPECT_EQ(result.acknowledged, 7);
    EXPECT_EQ(result.HardwareVersion, "7");
    EXPECT_EQ(result.Designation, "");
    EXPECT_EQ(readOut.TypeNumber, "");
    EXPECT_EQ(result.ReadOutCode, "123"); // still there for whoever prints it
    EXPECT_THAT(display.calls, ElementsAre("clear", "busy", "result  7", "ready (open)"));
}

TEST_F(ReadOutTest, EveryProbeAnsweredWronglySendsAllTen) {
    run();
    sim.setDeviceType("42");
    const auto result = run();
    EXPECT_EQ(result.outcome, Outcome::NoTypeAcknowledged);
    EXPECT_EQ(result.probes, 10);
    EXPECT_EQ(result.HardwareVersion, "");
    EXPECT_EQ(sim.frames(), probes(10));
    EXPECT_THAT(display.calls, ElementsAre("clear", "busy", "ready (open)"));
    EXPECT_FALSE(link.ComPort1.Connected());
    // the last values stay until a read-out sets them again
    EXPECT_EQ(readOut.HardwareVersion, "TV1");
    EXPECT_EQ(readOut.TypeNumber, "81");
}

TEST_F(ReadOutTest, SilentAtFirstProbeStopsProbing) {
    sim::Faults f;
    f.silentFrom = 2;
    sim.setFaults(f);
    const auto start = clock.now();
    const auto result = run();
    EXPECT_GE(clock.now() - start, device::Millis(6000));
    EXPECT_EQ(result.outcome, Outcome::ProbeUnanswered);
    EXPECT_EQ(result.probes, 1);
    EXPECT_EQ(sim.frames(), probes(1));
    EXPECT_THAT(display.calls, ElementsAre("clear", "busy", "ready (open)"));
    EXPECT_FALSE(link.ComPort1.Connected());
}

TEST_F(ReadOutTest, UnansweredReadOutIsNoHardware) {
    sim::Faults f;
    f.silentFrom = 1;
    sim.setFaults(f);
    const auto result = run();
    EXPECT_EQ(result.outcome, Outcome::NoReadOutAnswer);
    EXPECT_TRUE(info::IsNoHardware(result.outcome));
    EXPECT_EQ(result.ReadOutCode, "");
    EXPECT_EQ(sim.frames(), probes(0));
    EXPECT_THAT(display.calls, ElementsAre("clear", "busy", "no hardware (open)"));
    EXPECT_FALSE(link.ComPort1.Connected());
}

TEST_F(ReadOutTest, ShortReadOutReplyIsNoHardware) {
    sim.setReadOutField("07B"); // six bytes: the seven never come
    EXPECT_EQ(run().outcome, Outcome::NoReadOutAnswer);
}

TEST_F(ReadOutTest, NoBridgeIsNoHardware) {
    sim.unplug();
    const auto result = run();
    EXPECT_EQ(result.outcome, Outcome::NoBridge);
    EXPECT_LT(result.port, 1);
    EXPECT_TRUE(sim.frames().empty());
    EXPECT_THAT(display.calls, ElementsAre("clear", "no hardware"));
}

TEST_F(ReadOutTest, OpenFailureIsSwallowedIntoNoHardware) {
    replug([](sim::FakeBridge& b) { b.ttyTarget.clear(); }); // COM1 recorded, no device
    const auto result = run();
    EXPECT_EQ(result.outcome, Outcome::OpenFailed);
    EXPECT_EQ(result.port, 1);
    EXPECT_EQ(result.openError, "Unable to open com port (win error code: 2)");
    EXPECT_TRUE(sim.frames().empty());
    EXPECT_THAT(display.calls, ElementsAre("clear", "no hardware"));
    EXPECT_FALSE(link.ComPort1.Connected());
}

TEST_F(ReadOutTest, ReplyWithoutPercentLeavesPortOpenForNextReadOut) {
    sim::Faults f;
    f.replyFor[1] = "\x02X007B\x03";
    sim.setFaults(f);
    readOut.ReadOutCode = "555";
    try {
        run();
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'$\x02X00' ist kein gültiger Integerwert");
    }
    EXPECT_THAT(display.calls, ElementsAre("clear", "busy"));
    EXPECT_TRUE(link.ComPort1.Connected());
    EXPECT_EQ(readOut.ReadOutCode, "555");

    // The next read-out goes on with the open port: it could not open the device anew.
    sim.setFaults({});
    replug([](sim::FakeBridge& b) { b.ttyTarget.clear(); });
    const auto result = run();
    EXPECT_EQ(result.outcome, Outcome::Identified);
    EXPECT_EQ(result.Designation, "QYX81123-PQ");
    EXPECT_FALSE(link.ComPort1.Connected());
}

TEST_F(ReadOutTest, SecondReadOutDuringWaitIsRefused) {
    std::vector<info::ReadOutResult> inner;
    QObject sentinel; // the second click is handled on this thread
    RecordingDisplay innerDisplay{link.ComPort1};
    auto secondClick = [&] { inner.push_back(readOut.OpenFernbedienung(innerDisplay)); };
    // a second click during the read-out's wait, and one during a probe's
    display.onBusy = [&] { QTimer::singleShot(0, secondClick); };
    sim.setFrameListener([&](const sim::FrameRecord& r) {
        if (r.bytes == probe(0))
            QTimer::singleShot(0, &sentinel, secondClick);
    });
    const auto outer = run();
    sim.setFrameListener(nullptr);
    EXPECT_EQ(outer.outcome, Outcome::Identified);
    EXPECT_EQ(outer.Designation, "QYX81123-PQ");
    EXPECT_EQ(sim.frames(), probes(1));
    EXPECT_THAT(display.calls,
                ElementsAre("clear", "busy", "result QYX81123-PQ TV1", "ready (open)"));
    ASSERT_GE(inner.size(), 1u);
    for (const auto& r : inner)
        EXPECT_EQ(r.outcome, Outcome::AlreadyRunning);
    EXPECT_TRUE(innerDisplay.calls.empty());
    // once it has ended, the next one runs
    EXPECT_EQ(run().outcome, Outcome::Identified);
}

} // namespace
