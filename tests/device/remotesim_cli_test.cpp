// The simulator as a separate program, the way the demo and the end-to-end tests run it.
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include "device/frames.h"
#include "device/remotelink.h"
#include "tests/support/scratchdir.h"

using namespace corvana;
using namespace corvana::device;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RemoteSimProgram, PublishesItselfAnswersAndTakesCommands) {
    test::TempDir dir;
    const std::string envFile = dir.file("env");
    QProcess sim;
    sim.start(CORVANA_BUILD_BIN "/remotesim",
              {"--dir", QString::fromStdString(dir.path()), "--env-file",
               QString::fromStdString(envFile), "--type", "02", "--readout", "0FFF", "--record",
               QString::fromStdString(dir.file("frames.txt"))});
    ASSERT_TRUE(sim.waitForStarted(5000));
    for (int i = 0; i < 500 && !fs::exists(envFile); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(envFile));
    const std::string env = slurp(envFile);
    EXPECT_NE(env.find("export CORVANA_USB_DEVICES_ROOT='" + dir.path() + "/sys/bus/usb/devices'"),
              std::string::npos)
        << env;
    EXPECT_NE(env.find("export CORVANA_DEV_ROOT='" + dir.path() + "/dev'"), std::string::npos);

    test::ScopedEnv usb("CORVANA_USB_DEVICES_ROOT", dir.path() + "/sys/bus/usb/devices");
    test::ScopedEnv dev("CORVANA_DEV_ROOT", dir.path() + "/dev");
    ScaledClock fast(20);
    RemoteLink link(nullptr, nullptr, &fast);
    ASSERT_EQ(link.FindBridgePort(), 1);
    link.ComPort1.SetPort("COM1");
    link.ComPort1.SetConnected(true);
    link.Senden(DeviceTypeFrame("02"));
    ASSERT_TRUE(link.Empfangen(5, 5));
    EXPECT_EQ(link.RxBuffer, PositiveReply('$'));
    link.Senden(ReadOutFrame());
    ASSERT_TRUE(link.Empfangen(7, 5));
    EXPECT_EQ(link.RxBuffer, "\x02%0FFF\x03");

    sim.write("silent\n");
    QString out;
    while (!out.endsWith("ok\n") && sim.waitForReadyRead(5000))
        out += QString::fromUtf8(sim.readAllStandardOutput());
    EXPECT_TRUE(out.endsWith("ok\n")) << out.toStdString();
    link.Senden(PrepareFrame());
    EXPECT_FALSE(link.Empfangen(5, 10));
    link.ComPort1.Close();

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(fs::exists(envFile));
    EXPECT_EQ(link.FindBridgePort(), -1);
    EXPECT_EQ(slurp(dir.file("frames.txt")), "02 24 30 32 03\n02 25 30 03\n02 23 00 03\n");
}

} // namespace
