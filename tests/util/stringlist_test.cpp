// The wizard's hidden log is never emptied; with a limit it keeps its newest lines instead of
// growing for the whole run.
#include "util/stringlist.h"

#include <gtest/gtest.h>

#include <string>

namespace corvana {
namespace {

TEST(StringListLimit, KeepsTheNewestLinesInOrderAndStaysBounded) {
    StringList log(100);
    int mirrored = 0;
    log.onAdd = [&](const std::string&) { ++mirrored; };
    for (int i = 0; i < 1000; ++i) {
        log.Add(std::to_string(i));
        ASSERT_LE(log.Count(), 100);
    }
    EXPECT_EQ(mirrored, 1000);
    EXPECT_GE(log.Count(), 75);
    EXPECT_EQ(log[log.Count() - 1], "999");
    for (int i = 1; i < log.Count(); ++i)
        EXPECT_EQ(std::stoi(log[i]), std::stoi(log[i - 1]) + 1);
}

TEST(StringListLimit, WithoutALimitEveryLineStays) {
    StringList log;
    for (int i = 0; i < 100000; ++i)
        log.Add("x");
    EXPECT_EQ(log.Count(), 100000);
    EXPECT_EQ(log[0], "x");
}

} // namespace
} // namespace corvana
