// A program whose folder holds no CP210xManufacturing.dll: the discovery finds no bridge and
// its log tells why, instead of the program failing to start.
#include <gtest/gtest.h>

#include "device/bridgediscovery.h"

using namespace corvana;

TEST(WinNoLibrary, DiscoveryYieldsNoneAndTheLogSaysWhy) {
    StringList log;
    device::BridgeDiscovery discovery(&log);
    EXPECT_EQ(discovery.FindBridgePort(), -1);
    const auto& lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "255");
    EXPECT_EQ(lines[1], "0");
    EXPECT_EQ(lines[2], "255");
    EXPECT_EQ(lines[3], "CP210xManufacturing.dll nicht geladen (Fehler 126)");
}
