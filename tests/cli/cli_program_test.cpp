// The built pellquin against the remotesim program, as a technician or a script runs them:
// the frames it prints are the frames the remote records, plain progress lines off a
// terminal, exit codes of the process, and a termination signal in the middle of a run.
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include "tests/cli/codefile.h"
#include "tests/support/tempdir.h"

using namespace corvana::test;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProgramTest : public ::testing::Test {
protected:
    // Starts remotesim with `options`, publishing its fake tree in the scratch directory.
    void startRemote(QStringList options) {
        const std::string envFile = dir.file("env");
        options << "--dir" << QString::fromStdString(dir.file("tree")) << "--env-file"
                << QString::fromStdString(envFile) << "--record"
                << QString::fromStdString(dir.file("frames.txt"));
        remote.start(CORVANA_BUILD_BIN "/remotesim", options);
        ASSERT_TRUE(remote.waitForStarted(5000));
        for (int i = 0; i < 500 && !fs::exists(envFile); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(envFile));
        env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANA_USB_DEVICES_ROOT",
                   QString::fromStdString(dir.file("tree")) + "/sys/bus/usb/devices");
        env.insert("CORVANA_DEV_ROOT", QString::fromStdString(dir.file("tree")) + "/dev");
    }

    void TearDown() override {
        if (remote.state() != QProcess::NotRunning) {
            remote.terminate();
            remote.waitForFinished(5000);
        }
    }

    void start(QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(env);
        p.start(CORVANA_BUILD_BIN "/pellquin", args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    struct Ran {
        int code = -1;
        std::string out, err;
    };
    Ran run(const QStringList& args) {
        QProcess p;
        start(p, args);
        Ran r;
        if (!p.waitForFinished(60000))
            return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    TempDir dir;
    QProcess remote;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(ProgramTest, FramesPrintedAreFramesRecorded) {
    startRemote({"--type", "03"});
    const QString code = QString::fromStdString(dir.write("code.hex", codeFile(0x12BF)));
    const Ran frames = run({"frames", code, "--type", "STB1"});
    ASSERT_EQ(frames.code, 0) << frames.err;
    const Ran programmed = run({"program", code, "--type", "03"});
    ASSERT_EQ(programmed.code, 0) << programmed.err;
    EXPECT_EQ(slurp(dir.file("frames.txt")), frames.out);
    EXPECT_EQ(std::count(frames.out.begin(), frames.out.end(), '\n'), 2 + 11);
    // Not a terminal: plain lines, no carriage returns or terminal controls.
    EXPECT_NE(programmed.err.find("programming: 11/11 blocks"), std::string::npos)
        << programmed.err;
    EXPECT_EQ(programmed.err.find('\r'), std::string::npos);
    EXPECT_EQ(programmed.err.find('\x1b'), std::string::npos);
}

TEST_F(ProgramTest, ExitCodesOfTheProcess) {
    startRemote({"--type", "00"});
    const QString code = QString::fromStdString(dir.write("code.hex", codeFile(0x103F)));
    EXPECT_EQ(run({"program", code, "--type", "02"}).code, 4);
    EXPECT_EQ(run({"info"}).code, 0);
    EXPECT_EQ(run({"check", QString::fromStdString(dir.write("bad.hex", ":10100020"))}).code, 2);
    EXPECT_EQ(run({"program"}).code, 1);
    remote.readAllStandardOutput();
    remote.write("unplug\n");
    QString said;
    while (!said.endsWith("ok\n") && remote.waitForReadyRead(5000))
        said += QString::fromUtf8(remote.readAllStandardOutput());
    ASSERT_TRUE(said.endsWith("ok\n")) << said.toStdString();
    EXPECT_EQ(run({"info"}).code, 3);
}

// The first signal stops the run after the block on its way; the remote keeps what it got.
TEST_F(ProgramTest, SignalEndsTheRunBetweenBlocks) {
    startRemote({"--type", "02", "--paced"});
    const QString code = QString::fromStdString(dir.write("code.hex", codeFile(0x1FFF)));
    QProcess p;
    start(p, {"program", code, "--type", "02"});
    std::string err;
    for (int i = 0; i < 100 && err.find("programming: ") == std::string::npos; ++i) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError().toStdString();
    }
    ASSERT_NE(err.find("programming: "), std::string::npos) << err;
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(10000));
    err += p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_NE(err.find("interrupted after"), std::string::npos) << err;
    const std::string recorded = slurp(dir.file("frames.txt"));
    EXPECT_LT(std::count(recorded.begin(), recorded.end(), '\n'), 2 + 64);
}

} // namespace
