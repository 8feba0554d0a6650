// The progress display: the figures, the bar that redraws itself on a terminal, and the plain
// lines elsewhere.
#include <gtest/gtest.h>
#include <sstream>

#include "tools/pellquin/progress.h"

using namespace corvana::cli;
using Clock = std::chrono::steady_clock;

namespace {

struct FakeTime {
    Clock::time_point t{};
    Progress::Now now() {
        return [this] { return t; };
    }
};

TEST(Progress, FiguresGiveRateAndTimeLeft) {
    std::ostringstream err;
    FakeTime time;
    Progress p(err, true, 60, time.now());
    p.start(448);
    EXPECT_EQ(p.figures(), "0/448 blocks  0.0 blocks/s  --:-- left");
    time.t += std::chrono::seconds(10);
    p.update(67);
    EXPECT_EQ(p.figures(), "67/448 blocks  6.7 blocks/s  0:57 left");
    // The whole line stays within the terminal's width, the bar filled in proportion.
    const std::string line = p.barLine();
    EXPECT_LE(line.size(), 59u);
    const size_t width = line.find(']') - 1;
    EXPECT_EQ(static_cast<size_t>(std::count(line.begin(), line.end(), '#')), width * 67 / 448);
    EXPECT_EQ(clockText(65), "1:05");
    EXPECT_EQ(clockText(3725), "1:02:05");
}

TEST(Progress, TerminalBarRedrawsInPlaceAroundMessages) {
    std::ostringstream err;
    FakeTime time;
    {
        Progress p(err, true, 80, time.now());
        p.start(3);
        time.t += std::chrono::seconds(1);
        p.update(1);
        p.message("pellquin: Fehler(3)");
        p.update(3);
    }
    const std::string out = err.str();
    EXPECT_EQ(out.find('\n'),
              out.find("pellquin: Fehler(3)") + 19); // the message on a line of its own
    EXPECT_NE(out.find("\r\x1b[Kpellquin: Fehler(3)\n\r["), std::string::npos);
    EXPECT_EQ(out.back(), '\n'); // the bar's line ended when the display went
    EXPECT_NE(out.rfind("3/3 blocks"), std::string::npos);
}

TEST(Progress, PlainLinesAtEachTenthWhenNotATerminal) {
    std::ostringstream err;
    FakeTime time;
    Progress p(err, false, 80, time.now());
    p.start(448);
    for (int done = 1; done <= 448; ++done) {
        time.t += std::chrono::milliseconds(150);
        p.update(done);
    }
    p.finish();
    const std::string out = err.str();
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 11);
    EXPECT_NE(out.find("programming: 448/448 blocks  6.7 blocks/s  0:00 left\n"),
              std::string::npos);
}

} // namespace
