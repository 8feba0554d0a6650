// The built pellquin against the remotesim program, as a technician or a script runs them:
// the frames it prints are the frames the remote records, plain progress lines off a
// terminal, exit codes of the process, and a termination signal in the middle of a run.
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include "tests/cli/codefile.h"
#include "tests/support/scratchdir.h"

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

// Bench mode: remote after remote, each taken once it answers the device-type check and let
// go only once it no longer does; a failure on one is reported and the next one comes; the
// interrupt sums up. Each remote leaves its run log.
TEST_F(ProgramTest, BenchProgramsRemoteAfterRemoteUntilInterrupted) {
    startRemote({"--type", "02"});
    env.insert("XDG_STATE_HOME", QString::fromStdString(dir.file("state")));
    const auto command = [&](const std::string& line) {
        remote.readAllStandardOutput();
        remote.write((line + "\n").c_str());
        QString said;
        while (!said.endsWith("ok\n") && remote.waitForReadyRead(5000))
            said += QString::fromUtf8(remote.readAllStandardOutput());
        ASSERT_TRUE(said.endsWith("ok\n")) << line << ": " << said.toStdString();
    };
    command("unplug");
    const QString code = QString::fromStdString(dir.write("PQD_12345.hex", codeFile(0x10BF)));
    QProcess bench;
    start(bench, {"program", code, "--type", "02", "--repeat"});
    std::string out, err;
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    const auto await = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 300 && !done(); ++i) {
            bench.waitForReadyRead(50);
            out += bench.readAllStandardOutput().toStdString();
            err += bench.readAllStandardError().toStdString();
        }
        return done();
    };
    const std::string waiting = "waiting for a remote of device type 02 (DVD)";
    ASSERT_TRUE(await([&] { return count(err, waiting) == 1; })) << err;

    struct Remote {
        std::vector<std::string> before; // simulator commands before it is plugged in
        std::string result;
    } remotes[] = {
        {{}, "programmed"},
        // every block refused (NAK): Fehler(3) for each, and the remote does not count
        {{"clear", "wrong 4"}, "failed: 3 of 3 blocks answered wrongly"},
        {{"right"}, "programmed"},
        {{}, "programmed"},
    };
    size_t n = 0;
    for (const auto& r : remotes) {
        ++n;
        for (const auto& c : r.before)
            command(c);
        command("plug");
        ASSERT_TRUE(await([&] { return count(out, "\n") == n; })) << out << err;
        const std::string line = out.substr(out.rfind('\n', out.size() - 2) + 1);
        EXPECT_EQ(std::atoi(line.c_str()), static_cast<int>(n)) << line;
        EXPECT_NE(line.find(" 3/3 blocks "), std::string::npos) << line;
        EXPECT_NE(line.find(r.result), std::string::npos) << line;
        command("unplug");
        ASSERT_TRUE(await([&] { return count(err, waiting) == n + 1; })) << err;
    }
    ::kill(static_cast<pid_t>(bench.processId()), SIGINT);
    ASSERT_TRUE(bench.waitForFinished(10000));
    out += bench.readAllStandardOutput().toStdString();
    EXPECT_EQ(bench.exitCode(), 130);
    EXPECT_NE(out.find("bench: 3 programmed, 1 failed, total time 0:00:"), std::string::npos)
        << out;
    // Each remote got its blocks once: the probes in between are device-type checks only.
    EXPECT_EQ(count(slurp(dir.file("frames.txt")), "\n02 21 "), 4u * 3u);
    size_t logs = 0;
    for (const auto& e : fs::directory_iterator(dir.file("state") + "/corvana/runs"))
        logs += e.path().extension() == ".log";
    EXPECT_EQ(logs, 4u);
}

} // namespace
