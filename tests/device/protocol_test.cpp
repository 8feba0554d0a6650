#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>

#include "device/frames.h"
#include "device/remotelink.h"
#include "tests/device/simfixture.h"
#include "util/errors.h"

using namespace corvana;
using namespace corvana::device;
using std::chrono::milliseconds;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values)
        s += static_cast<char>(v);
    return s;
}

// ---- frames, checksum, transcript text ----

TEST(Frames, CommandFramesAndReplies) {
    struct Row {
        std::string frame;
        std::string expected;
    } rows[] = {
        {DeviceTypeFrame("03"), bytes({0x02, 0x24, 0x30, 0x33, 0x03})},
        {DeviceTypeFrame(""), bytes({0x02, 0x24, 0x03})},
        {PrepareFrame(), bytes({0x02, 0x23, 0x00, 0x03})},
        {ReadOutFrame(), bytes({0x02, 0x25, 0x30, 0x03})},
        {PositiveReply('$'), bytes({0x02, 0x24, 0x06, 0x00, 0x03})},
        {PositiveReply('#'), bytes({0x02, 0x23, 0x06, 0x00, 0x03})},
        {BlockReply(false), bytes({0x02, 0x21, 0x06, 0x08, 0x03})},
        {BlockReply(true), bytes({0x02, 0x21, 0x06, 0x04, 0x03})},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.frame, r.expected);
}

TEST(Frames, BlockChecksumCases) {
    const std::vector<uint8_t> ff(64, 0xFF);
    const std::string a = BlockFrame(0x1000, ff, false);
    ASSERT_EQ(a.size(), 138u);
    EXPECT_EQ(a.substr(0, 6), "\x02!1000");
    EXPECT_EQ(a.substr(6, 128), std::string(128, 'F'));
    EXPECT_EQ(a.substr(134), "33\x08\x03");
    EXPECT_EQ(BlockFrame(0x1000, ff, true).substr(134), "33\x04\x03");

    const std::vector<uint8_t> three{0x01, 0x02, 0x03};
    const std::string b = BlockFrame(0x1040, three, true);
    ASSERT_EQ(b.size(), 138u);
    EXPECT_EQ(b.substr(2, 10), "1040010203");
    EXPECT_EQ(b.substr(12, 122), std::string(122, 'F'));
    EXPECT_EQ(b.substr(134, 2), "8C");

    // A checksum below 0x10 keeps its leading zero.
    std::vector<uint8_t> low(64, 0x00);
    low[0] = 0x23 ^ 0x10 ^ 0x05;
    EXPECT_EQ(BlockFrame(0x1000, low, false).substr(134, 2), "05");
}

TEST(Frames, TheBuilderSendsCellTextsAsStored) {
    BlockFrameBuilder b("1040");
    EXPECT_TRUE(b.AddCell("0a"));
    EXPECT_TRUE(b.AddCell("Fe"));
    const std::string f = b.Finish(false);
    ASSERT_EQ(f.size(), 138u);
    EXPECT_EQ(f.substr(2, 8), "10400aFe");
    // 23 ^ 10 ^ 40 ^ 0A ^ FE; the 62 fillers cancel out in pairs
    EXPECT_EQ(f.substr(134), "87\x08\x03");

    BlockFrameBuilder full("1000");
    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(full.AddCell("00"));
    EXPECT_FALSE(full.AddCell("00"));
    EXPECT_THROW(BlockFrameBuilder("10G0"), EConvertError);
    EXPECT_THROW(BlockFrameBuilder("1000").AddCell("x1"), EConvertError);
}

TEST(Frames, TranscriptText) {
    EXPECT_EQ(DumpText(DeviceTypeFrame(""), 4), "02 24 03 00 ");
    const std::string reply = PositiveReply('$');
    const std::string dump = DumpText(reply, 5);
    EXPECT_EQ(dump, "02 24 06 00 03 ");
    EXPECT_EQ(PaddedLine(dump, reply), dump + std::string(10, ' ') + ": " + reply);
    const std::string longDump = DumpText(std::string(10, 'A'), 10); // 30 characters
    EXPECT_EQ(PaddedLine(longDump, "x"), longDump + ": x");
}

// ---- the time-out rule ----

TEST(TimeoutRule, TheSecondsComponentDecides) {
    struct Row {
        int timeout;
        long long elapsedMs;
        bool timedOut;
        long long nextMs; // -1: never
    } rows[] = {
        {5, 0, false, 6000},       {5, 5999, false, 6000},   {5, 6000, true, 6000},
        {10, 10999, false, 11000}, {10, 11000, true, 11000}, {5, 59999, true, 59999},
        {5, 60000, false, 66000},  {5, 61000, false, 66000}, {5, 66500, true, 66500},
        {59, 59999, false, -1},    {-1, 0, true, 0},
    };
    const milliseconds start(123456);
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.timeout << " after " << r.elapsedMs << " ms");
        const milliseconds now = start + milliseconds(r.elapsedMs);
        EXPECT_EQ(waitTimedOut(start, now, r.timeout), r.timedOut);
        const auto next = nextTimeoutCheck(start, now, r.timeout);
        if (r.nextMs < 0)
            EXPECT_FALSE(next.has_value());
        else
            EXPECT_EQ(next, start + milliseconds(r.nextMs));
    }
}

// ---- exchanges against the simulated remote ----

class Link : public test::SimTest {
protected:
    Link() {
        link.setClock(&fast);
        const int n = link.FindBridgePort();
        EXPECT_EQ(n, 1);
        link.ComPort1.SetPort("COM" + std::to_string(n));
        link.ComPort1.SetConnected(true);
        Memo1.Clear();
    }

    // Fake milliseconds since the start of the last wait, read off the clock.
    long long sinceMs(milliseconds t0) { return (fast.now() - t0).count(); }

    StringList Memo1, Memo2;
    ScaledClock fast{20};
    RemoteLink link{&Memo1, &Memo2};
};

TEST_F(Link, AcknowledgedExchangeWritesTheTranscript) {
    const std::string frame = DeviceTypeFrame("00");
    const std::string reply = PositiveReply('$');
    EXPECT_TRUE(link.Senden(frame));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, reply);
    EXPECT_EQ(sim.frames(), std::vector<std::string>{frame});

    const std::string sendDump = "02 24 30 30 ";
    const std::string replyDump = "02 24 06 00 03 ";
    EXPECT_EQ(Memo2.lines(),
              (std::vector<std::string>{">>> to Send", PaddedLine(sendDump, frame),
                                        ">>> send ready", " ", "<<< recieve",
                                        PaddedLine(replyDump, reply), "<<< receive ready", " "}));
    // Memo1: the send dump first, the receive dump last; between them the notifications.
    ASSERT_GE(Memo1.Count(), 4);
    EXPECT_EQ(Memo1[0], sendDump);
    EXPECT_EQ(Memo1[Memo1.Count() - 1], replyDump);
    std::vector<std::string> middle(Memo1.lines().begin() + 1, Memo1.lines().end() - 1);
    // The frame has left before anything can answer it.
    EXPECT_EQ(middle[0], "txtempty");
    EXPECT_EQ(std::count(middle.begin(), middle.end(), "txtempty"), 1);
    // The reply's status byte 00 is the event character.
    EXPECT_EQ(std::count(middle.begin(), middle.end(), "RxFlag"), 1);
    std::string announced;
    for (const auto& l : middle)
        if (l.rfind("---", 0) == 0)
            announced += l.substr(3);
    EXPECT_EQ(announced, reply);
}

TEST_F(Link, AnotherDeviceTypeCompletesButDoesNotCompare) {
    link.Senden(DeviceTypeFrame("01"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_NE(link.RxBuffer, PositiveReply('$'));
    EXPECT_EQ(link.RxBuffer, bytes({0x02, 0x24, 0x15, 0x00, 0x03}));
}

TEST_F(Link, UnansweredWaitsEndAtTheSecondsRule) {
    sim::Faults f;
    f.silentFrom = 1;
    sim.setFaults(f);
    for (const auto& [timeout, endsAt] : {std::pair{5, 6000LL}, std::pair{10, 11000LL}}) {
        SCOPED_TRACE(timeout);
        link.Senden(PrepareFrame());
        const auto before = Memo2.Count();
        const milliseconds t0 = fast.now();
        EXPECT_FALSE(link.Empfangen(5, timeout));
        const long long took = sinceMs(t0);
        EXPECT_GE(took, endsAt);
        EXPECT_LT(took, endsAt + 1000); // 50 ms of real time for scheduling slack
        // Nothing is logged after the wait's first line.
        EXPECT_EQ(Memo2.Count(), before + 1);
        EXPECT_EQ(Memo2[Memo2.Count() - 1], "<<< recieve");
    }
}

TEST_F(Link, ReplyPathsOfTheWait) {
    const std::string ack = PositiveReply('#');
    struct Row {
        const char* name;
        sim::Faults faults;
        bool completes;
        std::string rx;
    };
    sim::Faults shortReply, longReply, split, delayed;
    shortReply.replyFor[1] = ack.substr(0, 4);
    longReply.extraBytes = "X";
    split.splitChunk = 1;
    delayed.replyDelay = milliseconds(50);
    const Row rows[] = {
        {"four bytes never complete a five-byte wait", shortReply, false, ack.substr(0, 4)},
        {"six bytes complete it and fail the comparison", longReply, true, ack + "X"},
        {"a reply split over five writes", split, true, ack},
        {"a late reply", delayed, true, ack},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        sim.clearFrames();
        sim.setFaults(r.faults);
        link.Senden(PrepareFrame());
        EXPECT_EQ(link.Empfangen(5, 10), r.completes);
        if (!r.completes) {
            EXPECT_TRUE(pumpUntil([&] { return link.RxBuffer.size() >= r.rx.size(); }));
        }
        EXPECT_EQ(link.RxBuffer, r.rx);
    }
    // The six-byte reply: the dump shows five bytes, the padded line all six.
    const auto& m1 = Memo1.lines();
    const std::string dump5 = "02 23 06 00 03 ";
    EXPECT_NE(std::find(m1.begin(), m1.end(), dump5), m1.end());
    const auto& m2 = Memo2.lines();
    EXPECT_NE(std::find(m2.begin(), m2.end(), PaddedLine(dump5, ack + "X")), m2.end());
}

TEST_F(Link, AWaitEnteredWithEnoughBytesSucceedsAtOnce) {
    struct Stuck final : Clock {
        int reads = 0;
        milliseconds now() override {
            ++reads;
            return milliseconds(reads * 60'000 + 30'000); // every check would be a time-out
        }
    } clock;
    link.setClock(&clock);
    link.RxBuffer = "123456";
    EXPECT_TRUE(link.EmpfangenTest(5, 5));
    EXPECT_LE(clock.reads, 1);
    link.setClock(&fast);
}

TEST_F(Link, BytesAfterACompletedWaitStayUntilTheNextSend) {
    link.Senden(DeviceTypeFrame("00"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    sim.send("late");
    ASSERT_TRUE(pumpUntil([&] { return link.RxBuffer.size() == 9; }));
    EXPECT_EQ(link.RxBuffer, PositiveReply('$') + "late");
    link.Senden(PrepareFrame());
    ASSERT_TRUE(link.Empfangen(5, 10));
    EXPECT_EQ(link.RxBuffer, PositiveReply('#'));
}

TEST_F(Link, TheWaitLetsOtherEventsRun) {
    sim::Faults f;
    f.replyDelay = milliseconds(100);
    sim.setFaults(f);
    bool inputHandled = false;
    QTimer::singleShot(20, [&] { inputHandled = true; });
    link.Senden(DeviceTypeFrame("00"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_TRUE(inputHandled);
}

TEST_F(Link, EmpfangenTestWritesNoTranscript) {
    link.Senden(DeviceTypeFrame("00"));
    Memo1.Clear();
    Memo2.Clear();
    ASSERT_TRUE(link.EmpfangenTest(5, 5));
    EXPECT_EQ(Memo2.Count(), 0);
    for (const auto& l : Memo1.lines())
        EXPECT_TRUE(l == "txtempty" || l == "RxFlag" || l.rfind("---", 0) == 0) << l;
}

TEST_F(Link, AWindowWithoutTranscriptExchangesTheSame) {
    link.ComPort1.Close();
    RemoteLink info; // the device info window: no memos
    info.setClock(&fast);
    const int n = info.FindBridgePort();
    ASSERT_EQ(n, 1);
    info.ComPort1.SetPort("COM1");
    info.ComPort1.SetConnected(true);
    sim.setReadOutField("007B");
    info.Senden(ReadOutFrame());
    ASSERT_TRUE(info.Empfangen(7, 5));
    EXPECT_EQ(info.RxBuffer, "\x02%007B\x03");
}

TEST_F(Link, AFewBlocksReachTheRemotesMemory) {
    std::vector<uint8_t> data(3 * 64);
    std::iota(data.begin(), data.end(), uint8_t{0x40});
    link.Senden(PrepareFrame());
    ASSERT_TRUE(link.Empfangen(5, 10));
    for (int b = 0; b < 3; ++b) {
        const bool last = b == 2;
        link.Senden(BlockFrame(static_cast<uint16_t>(0x1000 + 64 * b),
                               std::span(data).subspan(static_cast<size_t>(64 * b), 64), last));
        ASSERT_TRUE(link.Empfangen(5, 5));
        EXPECT_EQ(link.RxBuffer, BlockReply(last));
    }
    const auto image = sim.image();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), image.begin() + 0x1000));
    EXPECT_EQ(image[0x1000 + data.size()], 0xFF);
}

TEST_F(Link, TheRemoteVanishingDuringAWaitRaisesThePortError) {
    sim::Faults f;
    f.vanishAt = 1;
    sim.setFaults(f);
    link.Senden(DeviceTypeFrame("00"));
    try {
        link.Empfangen(5, 5);
        FAIL() << "the wait ended without the port's error";
    } catch (const EComPortError& e) {
        EXPECT_EQ(e.errorCode, 3);
        EXPECT_STREQ(e.what(), "ReadFile function failed (win error code: 5)");
    }
    EXPECT_FALSE(link.ComPort1.Connected());
    EXPECT_EQ(link.FindBridgePort(), -1);
}

TEST_F(Link, AnErrorRaisedByTheReceiveHandlerLeavesTheWait) {
    link.ComPort1.OnRxChar = [](ComPort&, int) {
        throw EConvertError("'$zz' ist kein gültiger Integerwert");
    };
    link.Senden(DeviceTypeFrame("00"));
    EXPECT_THROW(link.Empfangen(5, 5), EConvertError);
    EXPECT_TRUE(link.ComPort1.Connected());
}

// One wait on the real clock: the time-out value 5 ends an unanswered wait after about 6 s.
TEST_F(Link, AnUnansweredWaitOnTheSystemClockTakesSixSeconds) {
    sim::Faults f;
    f.silentFrom = 1;
    sim.setFaults(f);
    link.setClock(nullptr);
    link.Senden(DeviceTypeFrame("00"));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Empfangen(5, 5));
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, milliseconds(6000));
    EXPECT_LT(took, milliseconds(7000));
}

} // namespace
