// The programming run at its own interface, without a window, against the simulated remote:
// what it sends, what it reports to its display, and that it leaves the port closed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "device/waitclock.h"
#include "tests/device/simfixture.h"
#include "util/errors.h"
#include "wizard/logic/programmingrun.h"

using namespace corvana;
using namespace corvana::test;

namespace {

const std::string kCheck02("\x02$02\x03");
const std::string kPrepare("\x02#\x00\x03", 4);

// What the run told its display, one line per call.
class RecordingDisplay : public RunDisplay {
public:
    void HardwareFailure(bool wrong) override { said.push_back(wrong ? "wrong hardware" : "none"); }
    void Message(const std::string& text) override { said.push_back(text); }
    bool Abandoned() override { return abandonAfter >= 0 && done >= abandonAfter; }
    void TransferStarted(int total) override { said.push_back("start " + std::to_string(total)); }
    void BlockDone(int d, int total) override {
        done = d;
        said.push_back("done " + std::to_string(d) + "/" + std::to_string(total));
    }
    void Finished() override { said.push_back("finished"); }

    std::vector<std::string> said;
    int abandonAfter = -1; // blocks answered before the caller goes away; -1: never
    int done = 0;
};

class ProgrammingRunTest : public SimTest {
protected:
    ProgrammingRunTest() {
        sim.setDeviceType("02");
        // 1000..107F, two blocks; the byte at A is (A * 7) mod 256.
        for (int a = 0x1000; a <= 0x107F; ++a) {
            char cell[3];
            std::snprintf(cell, sizeof cell, "%02X", (a * 7) & 0xFF);
            image.Grid1.SetCell(a % 16 + 1, a / 16 + 1, cell);
        }
        image.se_address2 = "107F";
    }

    RunResult programme() { return run.Programme("02", display); }

    device::ScaledClock clock{20}; // a six-second time-out in 0.3 s
    StringList memo1, memo2;
    device::RemoteLink link{&memo1, &memo2, &clock};
    MemoryImage image;
    ProgrammingRun run{link, image, &memo1, &memo2};
    RecordingDisplay display;
};

} // namespace

TEST_F(ProgrammingRunTest, GoodRunWritesEveryBlockAndClosesThePort) {
    memo2.Add("left from an earlier run");
    const RunResult r = programme();
    EXPECT_EQ(r.outcome, RunOutcome::Programmed);
    EXPECT_EQ(r.port, 1);
    EXPECT_EQ(r.blocks, 2);
    EXPECT_EQ(r.sent, 2);
    EXPECT_TRUE(r.wrong.empty());
    EXPECT_EQ(display.said,
              (std::vector<std::string>{"start 2", "done 1/2", "done 2/2", "finished"}));
    EXPECT_FALSE(link.ComPort1.Connected());

    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], kCheck02);
    EXPECT_EQ(frames[1], kPrepare);
    EXPECT_EQ(frames[2].substr(0, 6), "\x02!1000");
    EXPECT_EQ(frames[3].substr(0, 6), "\x02!1040");
    // The frames the run sends are the ones it plans.
    const std::string FB = "02";
    EXPECT_EQ(frames, PlannedFrames(image, &FB));
    const auto remote = sim.image();
    for (int a = 0x1000; a <= 0x107F; ++a)
        ASSERT_EQ(remote[a], (a * 7) & 0xFF) << a;
    // Memo1 logs each block frame; Memo2 starts empty on every run.
    const auto holds = [](const StringList& memo, const std::string& line) {
        for (int i = 0; i < memo.Count(); ++i)
            if (memo[i] == line)
                return true;
        return false;
    };
    EXPECT_TRUE(holds(memo1, frames[2]));
    EXPECT_TRUE(holds(memo1, frames[3]));
    EXPECT_FALSE(holds(memo2, "left from an earlier run"));
}

TEST_F(ProgrammingRunTest, EachFailureEndsWithItsOutcomeAndThePortClosed) {
    struct Row {
        const char* name;
        sim::Faults faults;
        std::string deviceType;
        RunOutcome outcome;
        std::vector<std::string> said;
        size_t frames;
    };
    const auto faults = [](int silentFrom, int wrongFrom) {
        sim::Faults f;
        f.silentFrom = silentFrom;
        f.wrongFrom = wrongFrom;
        return f;
    };
    const Row rows[] = {
        {"silent remote", faults(1, 0), "02", RunOutcome::NoAnswer, {"none"}, 1},
        {"other device type", {}, "03", RunOutcome::WrongHardware, {"wrong hardware"}, 1},
        {"prepare unanswered", faults(2, 0), "02", RunOutcome::PrepareSilent, {"Fehler(6)"}, 2},
        {"prepare answered wrongly",
         faults(0, 2),
         "02",
         RunOutcome::PrepareWrong,
         {"Fehler(7)"},
         2},
        {"block unanswered",
         faults(4, 0),
         "02",
         RunOutcome::BlockSilent,
         {"start 2", "done 1/2", "Fehler(2)"},
         4},
        // A wrong reply is told and the transfer goes on.
        {"blocks answered wrongly",
         faults(0, 3),
         "02",
         RunOutcome::Programmed,
         {"start 2", "Fehler(3)", "done 1/2", "Fehler(3)", "done 2/2", "finished"},
         4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim.setFaults(row.faults);
        sim.setDeviceType(row.deviceType);
        sim.clearFrames();
        display.said.clear();
        const RunResult r = programme();
        EXPECT_EQ(r.outcome, row.outcome);
        EXPECT_EQ(display.said, row.said);
        EXPECT_EQ(sim.frameCount(), row.frames);
        EXPECT_FALSE(link.ComPort1.Connected());
        if (row.outcome == RunOutcome::Programmed) {
            EXPECT_EQ(r.wrong, (std::vector<int>{1, 2}));
        }
    }
}

TEST_F(ProgrammingRunTest, NoCableAndABadRangeSendNothingOfTheImage) {
    image.se_address2 = "1000"; // not above the start
    EXPECT_EQ(programme().outcome, RunOutcome::AddressError);
    EXPECT_EQ(display.said, (std::vector<std::string>{"Start & End Address Error!!!!"}));
    EXPECT_EQ(sim.frames(), (std::vector<std::string>{kCheck02, kPrepare}));
    EXPECT_FALSE(link.ComPort1.Connected());

    sim.unplug();
    display.said.clear();
    const RunResult r = programme();
    EXPECT_EQ(r.outcome, RunOutcome::NoBridge);
    EXPECT_EQ(display.said, (std::vector<std::string>{"none"}));
    EXPECT_EQ(sim.frameCount(), 2u);
}

TEST_F(ProgrammingRunTest, CallerGoneAwayStopsBetweenBlocksQuietly) {
    display.abandonAfter = 1;
    const RunResult r = programme();
    EXPECT_EQ(r.outcome, RunOutcome::Abandoned);
    EXPECT_EQ(r.sent, 1);
    EXPECT_EQ(display.said, (std::vector<std::string>{"start 2", "done 1/2"}));
    EXPECT_EQ(sim.frameCount(), 3u);
    EXPECT_FALSE(link.ComPort1.Connected());
}

// The cable pulled during the second block: the port's error leaves the run, the port is
// closed, and what the run found so far is kept.
TEST_F(ProgrammingRunTest, CutCableRaisesThePortErrorAndClosesThePort) {
    sim::Faults f;
    f.vanishAt = 4;
    sim.setFaults(f);
    EXPECT_THROW(programme(), EComPortError);
    EXPECT_FALSE(link.ComPort1.Connected());
    EXPECT_EQ(run.result().blocks, 2);
    EXPECT_EQ(run.result().sent, 2);
    EXPECT_EQ(display.said, (std::vector<std::string>{"start 2", "done 1/2"}));
    EXPECT_EQ(sim.image()[0x1000], 0x00); // (1000 * 7) mod 256, from the first block
    EXPECT_EQ(sim.image()[0x1040], 0xFF); // the second never arrived
}
