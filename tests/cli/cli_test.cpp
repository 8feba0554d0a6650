// pellquin in-process: each command against the simulated remote, a fake USB tree and a
// loopback FTP stand-in; the exit codes and what goes to stdout and stderr.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "device/waitclock.h"
#include "tests/cli/codefile.h"
#include "tests/cli/inprocess.h"
#include "tests/device/simfixture.h"
#include "tests/netsupport/ftpstub.h"
#include "tools/pellquin/cli.h"

using namespace corvana;
using namespace corvana::test;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

class CliTest : public SimTest {
protected:
    CliTest() { sim.setDeviceType("02"); }

    Ran run(const std::vector<std::string>& args) {
        return runPellquin(args, &clock, [this] { return interrupt.load(); });
    }

    std::string file(const std::string& name, const std::string& content) {
        return files.write(name, content);
    }

    device::ScaledClock clock{20}; // a six-second time-out in 0.3 s
    std::atomic<bool> interrupt{false};
    TempDir files;
};

// ---- check ----------------------------------------------------------------------------------

TEST_F(CliTest, CheckReportsEndSumAndBlocks) {
    const Ran r = run({"check", file("good.hex", codeFile(0x13FF))});
    EXPECT_EQ(r.code, cli::kOk) << r.err;
    long sum = 0;
    for (int a = 0x1000; a <= 0x13FF; ++a)
        sum += byteAt(a);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%04lX", sum & 0xFFFF);
    EXPECT_NE(r.out.find("end address   13FF\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("image sum     " + std::string(expected) + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("blocks        16\n"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, CheckNamesTheLineAtFault) {
    std::vector<std::string> records = dataRecords(0x1000, 0x107F);
    const auto with = [&](size_t i, const std::string& line) {
        auto copy = records;
        copy[i] = line;
        copy.push_back(kEndRecord);
        return joinLines(copy);
    };
    std::string badSum = records[2];
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    struct Row {
        std::string name, content, error;
    } rows[] = {
        {"checksum", with(2, badSum), ".hex:3: Check Sum Error!!!!!-- [4128]"},
        // The field cut short by the line's end is empty: just "$".
        {"cut short", with(3, records[3].substr(0, 15)),
         ".hex:4: '$' ist kein gültiger Integerwert"},
        // Line numbers count the file's lines, blank ones included.
        {"after blank lines", "\r\n   \r\n" + with(1, badSum),
         ".hex:4: Check Sum Error!!!!!-- [4128]"},
        {"not hexadecimal", with(0, ":1010002G" + records[0].substr(9)),
         ".hex:1: '$2G' ist kein gültiger Integerwert"},
        {"no end record", joinLines(records), "no end record"},
        {"end not above start", kEndRecord + "\r\n",
         "Start & End Address Error!!!! (end address 0000 is not above the start 1000)"},
        {"data beyond the image",
         joinLines({records[0], hexRecord(0x7FF8, std::vector<int>(16, 1)), kEndRecord}),
         ".hex:2: 8 data bytes addressed above 7FFF"},
    };
    for (const auto& row : rows) {
        const Ran r = run({"check", file("f.hex", row.content)});
        EXPECT_EQ(r.code, cli::kBadFile) << row.name;
        EXPECT_NE(r.err.find(row.error), std::string::npos) << row.name << ": " << r.err;
    }
    const Ran missing = run({"check", files.file("none.hex")});
    EXPECT_EQ(missing.code, cli::kBadFile);
    EXPECT_NE(missing.err.find("none.hex: Datei nicht gefunden"), std::string::npos);
}

// ---- frames and program ---------------------------------------------------------------------

// The frames as the remote expects them, built here from the file's bytes: a last record
// that starts at the end address reaches past it, and the cells after the end go out as
// filler FF all the same.
TEST_F(CliTest, FramesAreWhatProgramSends) {
    const int E = 0x1441;
    auto records = dataRecords(0x1000, E); // 18 blocks, the last one short
    records.push_back(hexRecord(E, std::vector<int>(16, 0xA5)));
    records.push_back(kEndRecord);
    const std::string code = file("p.hex", joinLines(records));
    const auto byteOf = [&](int a) { return a > E ? 0xFF : a == E ? 0xA5 : byteAt(a); };
    std::vector<std::string> expected{"02 24 30 32 03", "02 23 00 03"};
    for (int block = 0x1000; block <= E; block += 64) {
        char text[8];
        std::snprintf(text, sizeof text, "%04X", block);
        std::string frame = std::string("\x02!") + text;
        int sum = 0x23 ^ (block >> 8) ^ (block & 0xFF);
        for (int a = block; a < block + 64; ++a) {
            std::snprintf(text, sizeof text, "%02X", byteOf(a));
            frame += text;
            sum ^= byteOf(a);
        }
        std::snprintf(text, sizeof text, "%02X", sum);
        frame += text;
        frame += block + 64 > E ? '\x04' : '\x08';
        expected.push_back(pairs(frame + '\x03'));
    }
    ASSERT_EQ(expected.size(), 20u);

    const Ran frames = run({"frames", code, "--type", "DVD"});
    ASSERT_EQ(frames.code, cli::kOk) << frames.err;
    EXPECT_EQ(linesOf(frames.out), expected);
    const Ran programmed = run({"program", code, "--type", "02"});
    ASSERT_EQ(programmed.code, cli::kOk) << programmed.err;
    std::vector<std::string> sent;
    for (const auto& f : sim.frames())
        sent.push_back(pairs(f));
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(programmed.out, "programmed 18 blocks, 1000 to 1441, device type 02 (DVD) on COM1\n");
    const auto remote = sim.image();
    for (int a = 0x1000; a < 0x1480; ++a)
        ASSERT_EQ(remote[static_cast<size_t>(a)], byteOf(a)) << a;

    // Without a type only the blocks; another start moves the first one.
    const Ran blocks = run({"frames", code, "--start", "1100"});
    const auto lines = linesOf(blocks.out);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0].substr(0, 17), "02 21 31 31 30 30");
}

TEST_F(CliTest, ProgramOutcomesAndExitCodes) {
    const std::string code = file("p.hex", codeFile(0x10BF)); // three blocks: frames 3 to 5
    const auto faults = [](auto set) {
        sim::Faults f;
        set(f);
        return f;
    };
    struct Row {
        std::string name;
        sim::Faults faults;
        std::string deviceType;
        int exit;
        std::string error;
        size_t frames;
    } rows[] = {
        {"check unanswered", faults([](sim::Faults& f) { f.silentFrom = 1; }), "02",
         cli::kNoHardware, "Keine Hardware angeschlossen! - Bitte QYX PQ DVD anschliessen!\n", 1},
        {"another type",
         {},
         "01",
         cli::kWrongHardware,
         "Wrong Hardware ! - Please connect QYX PQ DVD!\n",
         1},
        {"prepare unanswered", faults([](sim::Faults& f) { f.silentFrom = 2; }), "02",
         cli::kProtocol, "Fehler(6): no answer to the prepare command", 2},
        {"prepare refused", faults([](sim::Faults& f) { f.wrongFrom = 2; }), "02", cli::kProtocol,
         "Fehler(7): wrong answer to the prepare command: 02 23 15 00 03", 2},
        {"block unanswered", faults([](sim::Faults& f) { f.silentFrom = 4; }), "02", cli::kProtocol,
         "Fehler(2): no answer to block 2 of 3 (1040); the transfer ends", 4},
        // A refused block is not sent again, and the run does not count as a success.
        {"block refused", faults([](sim::Faults& f) { f.replyFor[4] = "\x02!\x15\x08\x03"; }), "02",
         cli::kProtocol,
         "Fehler(3): wrong answer to block 2 of 3 (1040): 02 21 15 08 03; the transfer goes on", 5},
    };
    for (const auto& row : rows) {
        sim.clearFrames();
        sim.setFaults(row.faults);
        sim.setDeviceType(row.deviceType);
        const Ran r = run({"program", code, "--type", "02"});
        EXPECT_EQ(r.code, row.exit) << row.name << ": " << r.err;
        EXPECT_NE(r.err.find(row.error), std::string::npos) << row.name << ": " << r.err;
        EXPECT_EQ(sim.frameCount(), row.frames) << row.name;
        EXPECT_EQ(r.out, "") << row.name;
    }
    sim.clearFrames(); // the refusal of block 2 again
    EXPECT_NE(run({"program", code, "--type", "02"}).err.find("1 of 3 blocks answered wrongly (2)"),
              std::string::npos);

    sim.unplug();
    const Ran none = run({"program", code, "--type", "02"});
    EXPECT_EQ(none.code, cli::kNoHardware);
    EXPECT_NE(none.err.find("No Hardware connected ! - Please connect QYX PQ DVD!"),
              std::string::npos);
    const Ran busy = run({"program", code, "--type", "02", "--port", "COM7"});
    EXPECT_EQ(busy.code, cli::kNoHardware);
    EXPECT_NE(busy.err.find("Unable to open com port"), std::string::npos) << busy.err;
}

TEST_F(CliTest, InterruptStopsAfterTheBlockOnItsWay) {
    const std::string code = file("p.hex", codeFile(0x11FF)); // eight blocks
    sim.setFrameListener([this](const sim::FrameRecord&) {
        if (sim.frameCount() == 4)
            interrupt = true;
    });
    const Ran r = run({"program", code, "--type", "02"});
    sim.setFrameListener(nullptr);
    EXPECT_EQ(r.code, cli::kInterrupted);
    EXPECT_NE(r.err.find("interrupted after"), std::string::npos) << r.err;
    EXPECT_GE(sim.frameCount(), 4u);
    EXPECT_LE(sim.frameCount(), 5u);
}

TEST_F(CliTest, VerifyReadsTheRemoteOut) {
    const std::string code = file("p.hex", codeFile(0x103F));
    const Ran ok = run({"program", code, "--type", "02", "--verify", "QYX85123-PQ"});
    EXPECT_EQ(ok.code, cli::kOk) << ok.err;
    EXPECT_NE(ok.out.find("verified QYX85123-PQ (DVD1)\n"), std::string::npos) << ok.out;
    EXPECT_EQ(sim.frames().back(), "\x02$02\x03"); // the read-out's probes after the blocks

    const Ran wrong = run({"program", code, "--type", "02", "--verify", "QYX81123-PQ"});
    EXPECT_EQ(wrong.code, cli::kVerifyFailed);
    EXPECT_NE(wrong.err.find("the remote reports QYX85123-PQ (DVD1), not QYX81123-PQ"),
              std::string::npos)
        << wrong.err;
}

TEST_F(CliTest, TraceHoldsTheWizardsTranscript) {
    const std::string code = file("p.hex", codeFile(0x103F));
    const std::string trace = files.file("trace.txt");
    ASSERT_EQ(run({"program", code, "--type", "02", "--trace", trace}).code, cli::kOk);
    const auto lines = linesOf(slurp(trace));
    const auto has = [&](const std::string& l) {
        return std::find(lines.begin(), lines.end(), l) != lines.end();
    };
    EXPECT_TRUE(has("Memo1: ComPort:1")); // the lookup's diagnostics
    EXPECT_TRUE(has("Memo2: >>> to Send"));
    EXPECT_TRUE(has("Memo1: 02 24 30 32 "));
    EXPECT_TRUE(has("Memo2: <<< receive ready"));
    EXPECT_TRUE(has("Memo1: " + sim.frames()[2])); // the block frame as the wizard logs it
}

// ---- info, ports ----------------------------------------------------------------------------

TEST_F(CliTest, InfoShowsDesignationOrTheNoHardwareText) {
    const Ran ok = run({"info"});
    EXPECT_EQ(ok.code, cli::kOk) << ok.err;
    EXPECT_EQ(ok.out, "designation       QYX85123-PQ\nhardware version  DVD1\n"
                      "read-out code     123\nport              COM1\n");

    sim.setDeviceType("07");
    EXPECT_NE(run({"info"}).out.find("(none: device type 07 has no type number)"),
              std::string::npos);
    sim.setDeviceType("42");
    const Ran noType = run({"info"});
    EXPECT_EQ(noType.code, cli::kWrongHardware);
    EXPECT_NE(noType.err.find("acknowledges none of the device types"), std::string::npos);
    sim.setDeviceType("02");
    sim.setReadOutField("ZZZZ");
    const Ran undecodable = run({"info"});
    EXPECT_EQ(undecodable.code, cli::kProtocol);
    EXPECT_NE(undecodable.err.find("'$ZZZ' ist kein gültiger Integerwert"), std::string::npos);

    sim.unplug();
    const Ran none = run({"info"});
    EXPECT_EQ(none.code, cli::kNoHardware);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("Keine Hardware angeschlossen!\nNo Hardware connected!\n", 0), 0u)
        << none.err;
}

// A cable whose serial number cannot be read has no port for the lookup; a named port works.
TEST_F(CliTest, NamedPortStandsInForTheLookup) {
    sim::FakeBridge bridge;
    bridge.serial.reset();
    bridge.ttyTarget = sim.ptyPath();
    tree->add(bridge);
    const std::string code = file("p.hex", codeFile(0x103F));
    EXPECT_EQ(run({"info"}).code, cli::kNoHardware);
    EXPECT_EQ(run({"program", code, "--type", "02"}).code, cli::kNoHardware);
    EXPECT_EQ(sim.frameCount(), 0u);
    EXPECT_EQ(run({"info", "--port", "COM1"}).code, cli::kOk);
    EXPECT_EQ(run({"program", code, "--type", "02", "--port", "1"}).code, cli::kOk);
}

TEST_F(CliTest, PortsListsEveryCableWithKeyAndPort) {
    sim::FakeBridge other;
    other.busPath = "1-2";
    other.vendorId = 0x0403;
    other.productId = 0x6001;
    other.serial = "AB 12";
    other.ttyIndex = 3;
    tree->add(other);
    const Ran r = run({"ports"});
    EXPECT_EQ(r.code, cli::kOk) << r.err;
    const std::string dev = tree->devRoot();
    EXPECT_EQ(r.out, "cable 0  (the one the port lookup uses)\n"
                     "  product     CP2102 USB to UART Bridge Controller\n"
                     "  vendor id   10c4\n  product id  ea60\n  serial      0001\n"
                     "  key path    SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\"
                     "0001_00\\Device Parameters\n"
                     "  port        COM1  (" +
                         dev +
                         "/ttyUSB0)\n"
                         "cable 1\n"
                         "  product     CP2102 USB to UART Bridge Controller\n"
                         "  vendor id   0403\n  product id  6001\n  serial      AB 12\n"
                         "  key path    SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_403&Pid_6001&"
                         "Mi_00\\AB_12_00\\Device Parameters\n"
                         "  port        COM4  (" +
                         dev + "/ttyUSB3)\n");
    sim.unplug();
    tree->remove("1-2");
    EXPECT_EQ(run({"ports"}).code, cli::kNoHardware);
}

// ---- fetch ----------------------------------------------------------------------------------

class FetchTest : public CliTest {
protected:
    FtpStub server;
    ScopedEnv host{"CORVANA_CODE_SERVER", "127.0.0.1"};
    ScopedEnv port{"CORVANA_CODE_SERVER_PORT", std::to_string(server.port())};
};

TEST_F(FetchTest, DownloadsWithTheWizardsAccount) {
    const std::string content = codeFile(0x10FF);
    server.setFile("PQD_12345.hex", content);
    const std::string target = files.file("code.hex");
    const Ran r = run({"fetch", "PQD_12345.hex", "-o", target});
    EXPECT_EQ(r.code, cli::kOk) << r.err;
    EXPECT_EQ(slurp(target), content);
    EXPECT_EQ(r.out,
              "PQD_12345.hex: " + std::to_string(content.size()) + " bytes into " + target + "\n");
    const auto c = server.commands();
    EXPECT_EQ(c[0], "USER ftpHEX");
    EXPECT_EQ(c[1], "PASS 47_qmr&cd$83");
    EXPECT_NE(std::find(c.begin(), c.end(), "CWD ."), c.end());
    EXPECT_NE(std::find(c.begin(), c.end(), "RETR PQD_12345.hex"), c.end());

    const Ran toStdout = run({"fetch", "PQD_12345.hex", "--output=-"});
    EXPECT_EQ(toStdout.code, cli::kOk);
    EXPECT_EQ(toStdout.out, content);

    // Without -o the file is named after NAME, in the current directory.
    const fs::path before = fs::current_path();
    fs::current_path(files.path());
    const Ran named = run({"fetch", "PQD_12345.hex"});
    fs::current_path(before);
    EXPECT_EQ(named.code, cli::kOk);
    EXPECT_EQ(slurp(files.file("PQD_12345.hex")), content);
}

TEST_F(FetchTest, FailedDownloadLeavesTheTargetAlone) {
    const std::string target = files.write("code.hex", "earlier file");
    const Ran missing = run({"fetch", "PQD_99999.hex", "-o", target});
    EXPECT_EQ(missing.code, cli::kNetwork);
    EXPECT_NE(missing.err.find("Datei nicht vorhanden / File not found: PQD_99999.hex"),
              std::string::npos)
        << missing.err;
    EXPECT_EQ(slurp(target), "earlier file");
    for (const auto& e : fs::directory_iterator(files.path()))
        EXPECT_EQ(e.path().filename(), "code.hex"); // no partial file left behind

    server.on("PASS", {ftp::reply("530 Login incorrect\r\n")});
    const Ran refused = run({"fetch", "PQD_99999.hex", "-o", target});
    EXPECT_EQ(refused.code, cli::kNetwork);
    EXPECT_NE(refused.err.find("code server 127.0.0.1:" + std::to_string(server.port())),
              std::string::npos)
        << refused.err;
}

// A server that reports the transfer complete without ever connecting for the data has
// delivered nothing: no empty code file may appear as a success.
TEST_F(FetchTest, TransferWithoutADataConnectionFailsAndLeavesNoFile) {
    server.setFile("PQD_12345.hex", codeFile(0x103F));
    server.on("RETR", {ftp::reply("150 ok\r\n226 done\r\n")});
    const std::string target = files.file("code.hex");
    const Ran r = run({"fetch", "PQD_12345.hex", "-o", target});
    EXPECT_EQ(r.code, cli::kNetwork);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::is_empty(files.path())) << "neither the target nor a partial file";
    EXPECT_NE(r.err.find(": Der Server hat keine Datenverbindung aufgebaut."), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("226"), std::string::npos) << "a completion quoted as the reason";
    const Ran toStdout = run({"fetch", "PQD_12345.hex", "-o", "-"});
    EXPECT_EQ(toStdout.code, cli::kNetwork);
    EXPECT_EQ(toStdout.out, "");
}

TEST_F(FetchTest, ListPrintsTheServersListing) {
    server.setListing("PQD_12345.hex\r\nPQT_00001.hex\r\n");
    const Ran r = run({"fetch", "--list"});
    EXPECT_EQ(r.code, cli::kOk) << r.err;
    EXPECT_EQ(r.out, "PQD_12345.hex\nPQT_00001.hex\n");
}

// ---- usage ----------------------------------------------------------------------------------

TEST_F(CliTest, UsageErrorsAndHelp) {
    const std::string code = file("p.hex", codeFile(0x103F));
    struct Row {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{}, "usage: pellquin COMMAND"},
        {{"flash"}, "unknown command 'flash'"},
        {{"check"}, "check wants one FILE"},
        {{"check", code, "--fast"}, "unknown option --fast"},
        {{"program", code}, "program needs --type CODE"},
        {{"program", code, "--type", "7x"}, "--type wants two digits"},
        {{"program", code, "--type", "02", "--port", "ttyUSB0"}, "--port wants COMn"},
        {{"program", code, "--type"}, "--type needs a value"},
        {{"frames", code, "--start", "1008"}, "--start wants"},
        {{"fetch"}, "fetch wants one NAME"},
    };
    for (const auto& row : rows) {
        const Ran r = run(row.args);
        EXPECT_EQ(r.code, cli::kUsage) << row.error;
        EXPECT_NE(r.err.find(row.error), std::string::npos) << row.error << ": " << r.err;
    }
    EXPECT_EQ(sim.frameCount(), 0u);

    const Ran help = run({"--help"});
    EXPECT_EQ(help.code, cli::kOk);
    for (const char* exitLine : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  5 ",
                                 "\n  6 ", "\n  7 ", "\n  130 "})
        EXPECT_NE(help.out.find(exitLine), std::string::npos) << exitLine;
    for (const char* command : {"check", "frames", "program", "info", "ports", "fetch"}) {
        const Ran r = run({command, "--help"});
        EXPECT_EQ(r.code, cli::kOk) << command;
        EXPECT_EQ(r.out.rfind(std::string("usage: pellquin ") + command, 0), 0u) << command;
    }
}

} // namespace
