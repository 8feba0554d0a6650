// pellquin.exe as a technician runs it on Windows: against the simulated remote on wine's COM
// port, found through the stand-in bridge library and the registry's "PortName", with its
// output and exit codes as the process gives them.
#include "tests/win32/winsim.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/codefile.h"
#include "tests/netsupport/ftpstub.h"
#include "tests/support/scratchdir.h"

using namespace corvana::test;
namespace fs = std::filesystem;

namespace {

const std::string kPellquin = CORVANA_BUILD_BIN "/pellquin.exe";

struct Ran {
    int code = -1;
    std::string out, err;
};

std::string drain(HANDLE h) {
    std::string text;
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    ::CloseHandle(h);
    return text;
}

// Runs `exe` with `args`, its standard output and error each into a pipe of ours.
Ran run(const std::vector<std::string>& args, const std::string& exe = kPellquin) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !::CreatePipe(&errRead, &errWrite, &inherit, 0))
        throw std::runtime_error("no pipe");
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    const HANDLE nul = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    std::string cmd = "\"" + exe + "\"";
    for (const auto& a : args)
        cmd += " \"" + a + "\"";
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &si, &pi);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    ::CloseHandle(nul);
    Ran r;
    if (!started) {
        ::CloseHandle(outRead);
        ::CloseHandle(errRead);
        r.err = "cannot start " + exe;
        return r;
    }
    std::thread errors([&] { r.err = drain(errRead); });
    r.out = drain(outRead);
    errors.join();
    DWORD code = 0;
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(pi.hProcess, &code))
        r.code = static_cast<int>(code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return r;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\n";
    return text;
}

class PellquinExe : public ::testing::Test {
protected:
    PellquinExe() { sim.publishBridge(); }

    WinSim sim{{"--type", "02"}};
    TempDir files;
};

TEST_F(PellquinExe, InfoReadsTheRemoteOutThroughTheLookup) {
    const Ran r = run({"info"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "designation       QYX85123-PQ\nhardware version  DVD1\n"
                     "read-out code     123\nport              " +
                         sim.portName() + "\n");
}

TEST_F(PellquinExe, ProgramSendsTheFramesItPrints) {
    const std::string code = files.write("code.hex", codeFile(0x12BF));
    const Ran frames = run({"frames", code, "--type", "DVD"});
    ASSERT_EQ(frames.code, 0) << frames.err;
    const Ran programmed = run({"program", code, "--type", "02"});
    ASSERT_EQ(programmed.code, 0) << programmed.err;
    EXPECT_EQ(joined(sim.frames()), frames.out);
    EXPECT_EQ(std::count(frames.out.begin(), frames.out.end(), '\n'), 2 + 11);
    // A pipe is no console: plain lines, no redrawing.
    EXPECT_NE(programmed.err.find("programming: 11/11 blocks"), std::string::npos)
        << programmed.err;
    EXPECT_EQ(programmed.err.find('\r'), std::string::npos);
}

// The run log on Windows: in the folder XDG_STATE_HOME names, listed by `log`, its "send"
// lines the frames the remote got.
TEST_F(PellquinExe, ProgramLeavesARunLogThatLogLists) {
    ScopedEnv state("XDG_STATE_HOME", files.file("state"));
    const std::string code = files.write("PQD_12345.hex", codeFile(0x10BF));
    const Ran programmed = run({"program", code, "--type", "02"});
    ASSERT_EQ(programmed.code, 0) << programmed.err;
    const Ran list = run({"log"});
    EXPECT_EQ(list.code, 0) << list.err;
    for (const char* column : {"12345", "02 DVD", "programmed", "pellquin program"})
        EXPECT_NE(list.out.find(column), std::string::npos) << column << ": " << list.out;
    const Ran shown = run({"log", "1"});
    std::istringstream lines(shown.out);
    std::string sent;
    for (std::string l; std::getline(lines, l);)
        if (l.size() > 31 && l.compare(24, 7, "send   ") == 0)
            sent += l.substr(31) + "\n";
    EXPECT_EQ(sent, joined(sim.frames()));
}

TEST_F(PellquinExe, VerifyAndTheExitCodesOfTheProcess) {
    const std::string code = files.write("code.hex", codeFile(0x103F));
    const Ran verified = run({"program", code, "--type", "02", "--verify", "QYX85123-PQ"});
    EXPECT_EQ(verified.code, 0) << verified.err;
    EXPECT_NE(verified.out.find("verified QYX85123-PQ (DVD1)\n"), std::string::npos)
        << verified.out;
    EXPECT_EQ(run({"program", code, "--type", "02", "--verify", "QYX81123-PQ"}).code, 7);
    EXPECT_EQ(run({"check", files.write("bad.hex", ":10100020")}).code, 2);
    EXPECT_EQ(run({"program"}).code, 1);
    ASSERT_EQ(sim.command("type 00"), "ok");
    const Ran wrong = run({"program", code, "--type", "02"});
    EXPECT_EQ(wrong.code, 4);
    EXPECT_NE(wrong.err.find("Wrong Hardware ! - Please connect QYX PQ DVD!"), std::string::npos)
        << wrong.err;
    ASSERT_EQ(sim.command("silent"), "ok");
    EXPECT_EQ(run({"info", "--port", sim.portName()}).code, 3);
}

TEST_F(PellquinExe, PortsShowsTheCableAndItsPortName) {
    const Ran r = run({"ports"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("  vendor id   10c4\n  product id  ea60\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  port        " + sim.portName() + "  (\\\\.\\" + sim.portName() + ")\n"),
              std::string::npos)
        << r.out;
}

// Without the vendor's library beside it the tool still runs and says why it found no cable.
TEST_F(PellquinExe, WithoutTheBridgeLibraryNoCableIsFound) {
    const fs::path alone = fs::path(files.file("alone")) / "pellquin.exe";
    fs::create_directories(alone.parent_path());
    fs::copy_file(kPellquin, alone);
    const Ran ports = run({"ports"}, alone.string());
    EXPECT_EQ(ports.code, 3);
    EXPECT_NE(ports.err.find("CP210xManufacturing.dll nicht geladen"), std::string::npos)
        << ports.err;
    const Ran info = run({"info"}, alone.string());
    EXPECT_EQ(info.code, 3);
    EXPECT_EQ(run({"info", "--port", sim.portName()}, alone.string()).code, 0);
}

// The code file as the server has it, byte for byte, also on standard output: line ends and
// the end-of-file byte must not be translated on the way.
TEST(PellquinFetch, DownloadsTheFileUnchanged) {
    FtpStub server;
    ScopedEnv host{"CORVANA_CODE_SERVER", "127.0.0.1"};
    ScopedEnv port{"CORVANA_CODE_SERVER_PORT", std::to_string(server.port())};
    const std::string bytes = codeFile(0x103F) + "\n\r\x1a" + std::string(1, '\0');
    server.setFile("PQD_12345.hex", bytes);
    TempDir files;
    const std::string target = files.file("PQD_12345.hex");
    const Ran saved = run({"fetch", "PQD_12345.hex", "-o", target});
    EXPECT_EQ(saved.code, 0) << saved.err;
    std::ifstream in(target, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), bytes);
    const Ran piped = run({"fetch", "PQD_12345.hex", "-o", "-"});
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, bytes);
    EXPECT_EQ(run({"fetch", "PQD_99999.hex", "-o", files.file("missing.hex")}).code, 6);
    EXPECT_FALSE(fs::exists(files.file("missing.hex")));
}

} // namespace
