// The run log of pellquin's runs, in-process against the simulated remote: what a log holds,
// that it is there up to the moment a run is cut, that a log that cannot be written changes
// nothing, and the `log` command that lists, shows and exports the logs.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

#include "device/waitclock.h"
#include "tests/cli/codefile.h"
#include "tests/cli/inprocess.h"
#include "tests/device/simfixture.h"
#include "tests/support/runlogs.h"
#include "tools/pellquin/cli.h"

using namespace corvana;
using namespace corvana::test;
namespace fs = std::filesystem;

namespace {

class RunLogTest : public SimTest {
protected:
    RunLogTest() { sim.setDeviceType("02"); }

    Ran run(const std::vector<std::string>& args) { return runPellquin(args, &clock); }

    device::ScaledClock clock{20};
    TempDir files;
    StateFolder state;
    const std::string code = files.write("PQD_12345.hex", codeFile(0x10BF)); // three blocks
};

int modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return static_cast<int>(st.st_mode & 0777);
}

TEST_F(RunLogTest, GoodRunHoldsExactlyTheFramesTheRemoteRecorded) {
    const Ran r = run({"program", code, "--type", "02", "--verify", "QYX85123-PQ"});
    ASSERT_EQ(r.code, cli::kOk) << r.err;
    ASSERT_EQ(state.logs().size(), 1u);
    const LoggedRun log = state.newest();
    EXPECT_EQ(log.sent(), sim.frames()); // check, prepare, blocks, read-out and probes
    EXPECT_EQ(log.texts("reply").size(), sim.frames().size());
    EXPECT_EQ(log.texts("reply")[0].rfind("02 24 06 00 03  (5 bytes awaited, time-out 5, ", 0), 0u);
    EXPECT_EQ(log.texts("order"), (std::vector<std::string>{"number 12345", "device type 02 DVD",
                                                            "code file PQD_12345.hex"}));
    EXPECT_EQ(log.texts("load")[0].rfind("13 records, end address 10BF, image sum ", 0), 0u);
    const auto find = log.texts("find");
    EXPECT_NE(std::find(find.begin(), find.end(), "ComPort:1"), find.end());
    EXPECT_EQ(log.lines.front().tag, "run");
    EXPECT_EQ(log.lines.back().tag, "result");
    EXPECT_EQ(log.lines.back().text, "programmed: verified QYX85123-PQ (DVD1)");
    EXPECT_EQ(modeOf(log.path), 0600);
    EXPECT_EQ(modeOf(RunLogFolder()), 0700);

    ASSERT_EQ(run({"info"}).code, cli::kOk);
    const Ran list = run({"log"});
    EXPECT_EQ(list.code, cli::kOk);
    std::istringstream rows(list.out);
    std::vector<std::string> lines;
    for (std::string l; std::getline(rows, l);)
        lines.push_back(l);
    ASSERT_EQ(lines.size(), 3u) << list.out;
    EXPECT_EQ(lines[1].substr(0, 3), "  1");
    EXPECT_NE(lines[1].find("identified"), std::string::npos) << lines[1];
    for (const char* column : {"12345", "02 DVD", "programmed", "pellquin program"})
        EXPECT_NE(lines[2].find(column), std::string::npos) << column << ": " << lines[2];

    EXPECT_EQ(run({"log", "2"}).out, log.text);
    const std::string mail = files.file("mail.txt");
    ASSERT_EQ(run({"log", "2", "--export", mail}).code, cli::kOk);
    const std::string exported = ReadRunLog(mail).text;
    EXPECT_EQ(exported.rfind("Corvana Pellquin run log ", 0), 0u);
    EXPECT_EQ(exported.substr(exported.size() - log.text.size()), log.text);

    const Ran none = run({"log", "3"});
    EXPECT_EQ(none.code, cli::kBadFile);
    EXPECT_NE(none.err.find("there is no run 3"), std::string::npos) << none.err;
}

// Each line is in the file once written: a run cut by a vanished remote leaves everything up
// to the last frame that went out, and then how it ended.
TEST_F(RunLogTest, RunCutByAVanishedRemoteEndsWithTheLastFrameSent) {
    sim::Faults f;
    f.vanishAt = 4; // the second block
    sim.setFaults(f);
    std::vector<std::string> loggedAtFrame3;
    sim.setFrameListener([&](const sim::FrameRecord&) {
        if (sim.frameCount() == 3)
            loggedAtFrame3 = state.newest().sent();
    });
    const Ran r = run({"program", code, "--type", "02"});
    sim.setFrameListener(nullptr);
    EXPECT_NE(r.code, cli::kOk);
    ASSERT_EQ(sim.frames().size(), 4u);
    ASSERT_GE(loggedAtFrame3.size(), 2u);
    EXPECT_EQ(loggedAtFrame3[1], sim.frames()[1]);

    const LoggedRun log = state.newest();
    EXPECT_EQ(log.sent(), sim.frames());
    size_t lastSend = 0;
    for (size_t i = 0; i < log.lines.size(); ++i)
        if (log.lines[i].tag == "send")
            lastSend = i;
    for (size_t i = lastSend + 1; i < log.lines.size(); ++i)
        EXPECT_NE(log.lines[i].tag, "reply") << log.lines[i].text;
    EXPECT_EQ(log.lines.back().tag, "result");
    EXPECT_NE(log.lines.back().text.find("pellquin: "), std::string::npos) << log.text;
}

TEST_F(RunLogTest, LogThatCannotBeWrittenLeavesTheRunAsItWas) {
    const Ran reference = run({"program", code, "--type", "02"});
    ASSERT_EQ(reference.code, cli::kOk) << reference.err;
    TempDir other;
    fs::create_directories(other.file("corvana"));
    other.write("corvana/runs", "a file where the folder should be");
    struct Row {
        const char* name;
        std::string stateHome, home;
    } rows[] = {
        {"state home is a file", files.write("state", "x"), "/nonexistent"},
        {"runs is a file", other.path(), "/nonexistent"},
        {"no state home, no home", "", ""},
    };
    for (const auto& row : rows) {
        ScopedEnv stateHome("XDG_STATE_HOME", row.stateHome);
        ScopedEnv home("HOME", row.home);
        sim.clearFrames();
        const Ran r = run({"program", code, "--type", "02"});
        EXPECT_EQ(r.code, cli::kOk) << row.name << ": " << r.err;
        EXPECT_EQ(r.out, reference.out) << row.name;
        EXPECT_EQ(sim.frameCount(), 5u) << row.name;
        EXPECT_TRUE(RunLogFiles(RunLogFolder()).empty()) << row.name;
    }
}

TEST_F(RunLogTest, KeepsTheNewestHundredAndNothingElseIsTouched) {
    const std::string folder = RunLogFolder();
    fs::create_directories(folder);
    char name[64];
    for (int i = 0; i < 105; ++i) {
        std::snprintf(name, sizeof name, "20200101-00%02d%02d-000_old.log", i / 60, i % 60);
        std::ofstream(folder + "/" + name) << "old\n";
    }
    std::ofstream(folder + "/notes.txt") << "mine\n";
    ASSERT_EQ(run({"info"}).code, cli::kOk);
    const auto logs = state.logs();
    ASSERT_EQ(logs.size(), 100u);
    EXPECT_NE(logs.front().find("_info.log"), std::string::npos) << logs.front();
    EXPECT_EQ(fs::path(logs.back()).filename(), "20200101-000006-000_old.log");
    EXPECT_TRUE(fs::exists(folder + "/notes.txt"));
}

TEST_F(RunLogTest, UsageOfLogAndOfTheBench) {
    struct Row {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{"log", "x"}, "log wants a run number N from 1"},
        {{"log", "0"}, "log wants a run number N from 1"},
        {{"log", "1", "2"}, "log takes one run number N at most"},
        {{"log", "--export"}, "--export needs a value"},
        {{"program", code, "--type", "02", "--repeat", "--trace", files.file("t.txt")},
         "--trace does not go with --repeat"},
    };
    for (const auto& row : rows) {
        const Ran r = run(row.args);
        EXPECT_EQ(r.code, cli::kUsage) << row.error;
        EXPECT_NE(r.err.find(row.error), std::string::npos) << row.error << ": " << r.err;
    }
    EXPECT_EQ(sim.frameCount(), 0u);
    EXPECT_NE(run({"log", "--help"}).out.find("--export FILE"), std::string::npos);
    EXPECT_NE(run({"program", "--help"}).out.find("--repeat"), std::string::npos);
    EXPECT_NE(run({"--help"}).out.find("log [N]"), std::string::npos);
    const Ran empty = run({"log"});
    EXPECT_EQ(empty.code, cli::kOk);
    EXPECT_EQ(empty.out.rfind("no runs logged yet", 0), 0u) << empty.out;
}

} // namespace
