// The FTP client against the scripted loopback server: what goes over the wire, what the
// client makes of each reply, and how it survives servers that misbehave.
#include "net/ftpclient.h"

#include "platform/sockets.h"
#include "platform/sysio.h"
#include "tests/netsupport/expect.h"
#include "tests/netsupport/ftpstub.h"
#include "tests/netsupport/loopback.h"
#include "tests/support/scratchdir.h"
#include "util/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace corvana {
namespace {

using test::FtpScript;
using test::FtpStub;
namespace ftp = test::ftp;
using Strings = std::vector<std::string>;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every byte value and every kind of line end: a text-mode transfer would change it.
std::string binaryBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += static_cast<char>(i);
    return s + "\r\n\n\r:10000000\r\n" + std::string(70000, '\x1a');
}

class FtpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.Username = "ftpHEX";
        client.Password = "47_qmr&cd$83";
    }
    void TearDown() override { platform::setFaultHook(nullptr); }
    // Connects and forgets the login lines, so a test sees only its own commands.
    void connect() {
        client.Connect();
        loginLines = server.commands().size();
    }
    // Connects, makes one transfer and one refused command, and returns the process's open
    // handles after them: the first transfer and the first error raised in a process may leave
    // lasting handles of the system's own behind (under wine they do).
    int connectAndCountHandles() {
        server.setFile("settle.hex", "x");
        server.once("CWD", {ftp::reply("550 No such directory\r\n")});
        connect();
        client.Retrieve("settle.hex", dir.file("settle.hex"), true);
        EXPECT_THROW(client.ChangeDirectory("settle"), EReplyError);
        loginLines = server.commands().size();
        return openHandles();
    }
    int openHandles() {
        EXPECT_TRUE(server.waitDataClosed());
        return test::openHandles();
    }
    Strings commandsAfterLogin() const {
        const Strings all = server.commands();
        return Strings(all.begin() + static_cast<long>(loginLines), all.end());
    }

    FtpStub server;
    net::FtpClient client;
    test::TempDir dir;
    size_t loginLines = 0;
};

TEST_F(FtpClientTest, SessionSendsTheCommandsOfTheWireTableAndNoQuit) {
    server.setListing("-rw-r--r-- 1 ftp ftp 42 Jan 01 10:00 QYX12345.hex\r\n");
    server.setFile("QYX12345.hex", binaryBytes());
    const std::string local = dir.file("Printer.drv");

    connect();
    client.ChangeDirectory(".");
    StringList listing;
    client.List(listing);
    client.Retrieve("QYX12345.hex", local, true);
    client.Disconnect();
    ASSERT_TRUE(server.waitClosed());

    const auto ports = server.dataPorts();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_NE(ports[0], ports[1]) << "every transfer listens afresh";
    auto port = [](uint16_t p) {
        return "PORT 127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256);
    };
    const Strings expected{
        "USER ftpHEX", "PASS 47_qmr&cd$83", "TYPE I",           "SYST", "CWD .", port(ports[0]),
        "LIST",        port(ports[1]),      "RETR QYX12345.hex"};
    EXPECT_EQ(server.commands(), expected);
    std::string wire;
    for (const auto& c : expected)
        wire += c + "\r\n";
    EXPECT_EQ(server.received(), wire) << "each command one line ending in CR LF, then nothing";

    EXPECT_EQ(listing.lines(), Strings{"-rw-r--r-- 1 ftp ftp 42 Jan 01 10:00 QYX12345.hex"});
    EXPECT_EQ(readFile(local), binaryBytes());
    // The listening sockets are gone with their transfers.
    for (uint16_t p : ports)
        EXPECT_FALSE(test::canConnect("127.0.0.1", p)) << p;
}

struct ConnectCase {
    const char* name;
    FtpScript greeting;
    std::map<std::string, FtpScript> answers;
    Strings commands;  // after the greeting
    std::string error; // "" when Connect succeeds
    int replyCode;     // of a reply error; -1 for other errors
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const ConnectCase& c, std::ostream* os) {
    *os << c.name;
}

class FtpConnectTest : public FtpClientTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(FtpConnectTest, LogsInOrFailsClosed) {
    const ConnectCase& c = GetParam();
    if (!c.greeting.empty())
        server.greeting(c.greeting);
    for (const auto& [verb, script] : c.answers)
        server.on(verb, script);

    int code = -1;
    std::string error;
    try {
        client.Connect();
    } catch (const EReplyError& e) {
        error = e.what();
        code = e.replyCode;
    } catch (const Exception& e) {
        error = e.what();
    }
    EXPECT_EQ(error, c.error);
    if (!c.error.empty()) {
        EXPECT_EQ(code, c.replyCode);
        EXPECT_FALSE(client.Connected());
        EXPECT_TRUE(server.waitClosed()) << "a failed Connect closes the connection";
    } else {
        EXPECT_TRUE(client.Connected());
        client.Disconnect();
        EXPECT_TRUE(server.waitClosed());
    }
    EXPECT_EQ(server.commands(), c.commands);
}

const Strings kLogin{"USER ftpHEX", "PASS 47_qmr&cd$83", "TYPE I", "SYST"};
const std::string kClosed = "Die Verbindung wurde erfolgreich geschlossen.";
const std::string kTooLong = "Max. Zeilenlänge überschritten.";

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpConnectTest,
    ::testing::Values(
        ConnectCase{"MultiLineGreeting",
                    {ftp::reply("220-Welcome\r\n220-to the code server\r\n220 ready\r\n")},
                    {},
                    kLogin,
                    "",
                    -1},
        ConnectCase{"BlankLinesBeforeRepliesAndInsideABanner",
                    {ftp::reply("\r\n  \r\n220-Welcome\r\n\r\nHi\r\n220 ready\r\n")},
                    {{"USER", {ftp::reply("\r\n331 Password\r\n")}}},
                    kLogin,
                    "",
                    -1},
        ConnectCase{"CodeAloneEndsAMultiLineReply",
                    {ftp::reply("220-Welcome\r\n220 \r\n")},
                    {},
                    kLogin,
                    "",
                    -1},
        ConnectCase{"UserAnswered230SendsNoPass",
                    {},
                    {{"USER", {ftp::reply("230 Anonymous access granted\r\n")}}},
                    {"USER ftpHEX", "TYPE I", "SYST"},
                    "",
                    -1},
        ConnectCase{"Syst500IsAccepted",
                    {},
                    {{"SYST", {ftp::reply("500 SYST not understood\r\n")}}},
                    kLogin,
                    "",
                    -1},
        ConnectCase{"Syst502Fails",
                    {},
                    {{"SYST", {ftp::reply("502 Command not implemented\r\n")}}},
                    kLogin,
                    "Command not implemented\r\n",
                    502},
        ConnectCase{"TypeRefused",
                    {},
                    {{"TYPE", {ftp::reply("504 Type not supported\r\n")}}},
                    {"USER ftpHEX", "PASS 47_qmr&cd$83", "TYPE I"},
                    "Type not supported\r\n",
                    504},
        ConnectCase{"GreetingRefused",
                    {ftp::reply("421 Too many users\r\n")},
                    {},
                    {},
                    "Too many users\r\n",
                    421},
        ConnectCase{"PasswordRefusedWithAMultiLineReply",
                    {},
                    {{"PASS", {ftp::reply("530-Login incorrect.\r\n530 Goodbye\r\n")}}},
                    {"USER ftpHEX", "PASS 47_qmr&cd$83"},
                    "Login incorrect.\r\nGoodbye\r\n",
                    530},
        ConnectCase{"GarbageCode", {ftp::reply("hello world\r\n")}, {}, {}, "o world\r\n", 0},
        ConnectCase{"LongestLineAllowed",
                    {ftp::reply("220 " + std::string(16380, 'x') + "\r\n")},
                    {},
                    kLogin,
                    "",
                    -1},
        ConnectCase{"LineOverTheLimit",
                    {ftp::reply("220 " + std::string(16381, 'x') + "\r\n")},
                    {},
                    {},
                    kTooLong,
                    -1},
        ConnectCase{"EndlessLine",
                    {ftp::reply("220 " + std::string(100000, 'x')), ftp::hang()},
                    {},
                    {},
                    kTooLong,
                    -1},
        ConnectCase{"DroppedInsideAMultiLineGreeting",
                    {ftp::reply("220-Welcome\r\n"), ftp::drop()},
                    {},
                    {},
                    kClosed,
                    -1},
        ConnectCase{"DroppedInsideALine",
                    {},
                    {{"USER", {ftp::reply("331 Pass"), ftp::drop()}}},
                    {"USER ftpHEX"},
                    kClosed,
                    -1}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(FtpClientTest, SocketFailuresCarryTheNumberAndItsDescription) {
    client.Port = test::unusedPort();
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Connect(); }),
              "Socket-Fehler # " + std::to_string(test::kConnRefused) +
                  "\r\nVerbindung abgelehnt.");

    platform::setFaultHook([](const char* call) {
        return std::strcmp(call, "getaddrinfo") ? 0 : test::kHostNotFound;
    });
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Connect(); }),
              "Socket-Fehler # " + std::to_string(test::kHostNotFound) +
                  "\r\nHost nicht gefunden.");
    // A number without a German description leaves the second line empty.
    platform::setFaultHook(
        [](const char* call) { return std::strcmp(call, "connect") ? 0 : EDOM; });
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Connect(); }),
              "Socket-Fehler # " + std::to_string(EDOM) + "\r\n");
}

TEST_F(FtpClientTest, ConnectOnAnOpenConnectionFailsAndKeepsIt) {
    connect();
    EXPECT_EQ(test::errorText<Exception>([&] { client.Connect(); }), "Verbindung besteht bereits.");
    client.ChangeDirectory("sub");
    EXPECT_EQ(commandsAfterLogin(), Strings{"CWD sub"});
}

TEST_F(FtpClientTest, RefusedDirectoryChangeKeepsTheConnection) {
    server.once("CWD", {ftp::reply("550 No such directory\r\n")});
    connect();
    try {
        client.ChangeDirectory(".");
        FAIL() << "no error";
    } catch (const EReplyError& e) {
        EXPECT_STREQ(e.what(), "No such directory\r\n");
        EXPECT_EQ(e.replyCode, 550);
    }
    EXPECT_TRUE(client.Connected());
    client.ChangeDirectory(".");
}

TEST_F(FtpClientTest, ListingLinesAreSplitAtEveryKindOfLineEnd) {
    const std::vector<std::pair<std::string, Strings>> cases{
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"one\r\n", {"one"}},
        {"x\n\ny\n", {"x", "", "y"}},
        {"\r\n\r\n", {"", ""}},
        {"", {}},
    };
    connect();
    for (const auto& [data, lines] : cases) {
        server.once("LIST", {ftp::reply("150 ok\r\n"), ftp::data(data), ftp::reply("226 ok\r\n")});
        StringList dest;
        dest.Add("left over");
        client.List(dest);
        EXPECT_EQ(dest.lines(), lines) << testing::PrintToString(data);
    }
}

TEST_F(FtpClientTest, TransferEndsNormallyOnEveryAcceptedCompletion) {
    const std::vector<std::pair<FtpScript, std::string>> cases{
        {{ftp::reply("226 done\r\n")}, ""},
        {{ftp::reply("250 done\r\n")}, ""},
        {{ftp::reply("225 done\r\n")}, ""},
        {{ftp::reply("426 aborted\r\n226 closing\r\n")}, ""},
        {{ftp::reply("450 busy\r\n225 closing\r\n")}, ""},
        {{ftp::reply("426 aborted\r\n550 gone\r\n")}, "gone\r\n"},
        {{ftp::reply("451 local error\r\n")}, "local error\r\n"},
    };
    connect();
    const std::string local = dir.file("Printer.drv");
    for (const auto& [completion, error] : cases) {
        FtpScript s{ftp::reply("150 ok\r\n"), ftp::data("partial")};
        s.insert(s.end(), completion.begin(), completion.end());
        server.once("RETR", s);
        EXPECT_EQ(test::errorText<EReplyError>([&] { client.Retrieve("f.hex", local, true); }),
                  error.empty() ? "<no error>" : error)
            << completion[0].bytes;
        EXPECT_EQ(readFile(local), "partial") << "the bytes that came are kept";
        EXPECT_TRUE(client.Connected());
    }
}

TEST_F(FtpClientTest, RefusedRetrieveLeavesTheLocalFileCreatedAndEmpty) {
    const std::string old = dir.write("Printer.drv", "an earlier download");
    const int fds = connectAndCountHandles();
    try {
        client.Retrieve("missing.hex", old, true);
        FAIL() << "no error";
    } catch (const EReplyError& e) {
        EXPECT_STREQ(e.what(), "missing.hex: No such file or directory\r\n");
        EXPECT_EQ(e.replyCode, 550);
    }
    EXPECT_EQ(openHandles(), fds) << "file and sockets closed";
    EXPECT_TRUE(std::filesystem::exists(old));
    EXPECT_EQ(std::filesystem::file_size(old), 0u);

    const std::string fresh = dir.file("new.drv");
    EXPECT_NE(test::errorText<EReplyError>([&] { client.Retrieve("missing.hex", fresh, false); }),
              "<no error>");
    EXPECT_TRUE(std::filesystem::exists(fresh));
    EXPECT_EQ(commandsAfterLogin().back(), "RETR missing.hex");
}

TEST_F(FtpClientTest, LineBreaksInsideAParameterAreNotSent) {
    connect();
    const std::string local = dir.file("Printer.drv");
    EXPECT_EQ(test::errorText<EProtocolError>(
                  [&] { client.Retrieve("a.hex\r\nDELE b.hex", local, true); }),
              "Ungültiges Zeichen im Befehl.");
    EXPECT_EQ(test::errorText<EProtocolError>([&] { client.ChangeDirectory("x\ny"); }),
              "Ungültiges Zeichen im Befehl.");
    for (const auto& c : commandsAfterLogin())
        EXPECT_EQ(c.find("DELE"), std::string::npos) << c;
    EXPECT_TRUE(client.Connected());
    client.ChangeDirectory(".");
}

TEST_F(FtpClientTest, RetrieveNeverSendsRest) {
    server.setFile("f.hex", "0123456789");
    const std::string local = dir.write("Printer.drv", "01234");
    connect();
    client.Retrieve("f.hex", local, true);
    EXPECT_EQ(readFile(local), "0123456789");
    for (const auto& c : commandsAfterLogin())
        EXPECT_NE(c.substr(0, 4), "REST");
}

TEST_F(FtpClientTest, LocalFileProblemsStopRetrieveBeforeTheServerIsAsked) {
    connect();
    const std::string existing = dir.write("Printer.drv", "keep me");
    EXPECT_EQ(test::errorText<EInOutError>([&] { client.Retrieve("f.hex", existing, false); }),
              "Die Zieldatei existiert bereits.");
    EXPECT_EQ(readFile(existing), "keep me");

    const std::string nowhere = dir.file("no/such/dir/Printer.drv");
    EXPECT_EQ(test::errorText<EInOutError>([&] { client.Retrieve("f.hex", nowhere, true); }),
              "Datei \"" + nowhere +
                  "\" kann nicht erstellt werden. Das System kann die angegebene Datei nicht "
                  "finden.");
    EXPECT_TRUE(commandsAfterLogin().empty());
    EXPECT_TRUE(client.Connected());
}

// A link planted at the path is not followed, so its target is not overwritten.
TEST_F(FtpClientTest, ALinkAtTheLocalPathIsNotFollowed) {
    connect();
    const std::string target = dir.write("victim", "precious");
    const std::string link = dir.file("link.drv");
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ(test::errorText<EInOutError>([&] { client.Retrieve("f.hex", link, true); }),
              "Datei \"" + link +
                  "\" kann nicht erstellt werden. Der Pfad ist eine symbolische Verknüpfung.");
    EXPECT_EQ(readFile(target), "precious");
    EXPECT_TRUE(commandsAfterLogin().empty());
}

TEST_F(FtpClientTest, FailedLocalWriteClosesTheFile) {
    server.setFile("f.hex", "data");
    const int fds = connectAndCountHandles();
    const std::string local = dir.file("Printer.drv");
    platform::setFaultHook(
        [](const char* call) { return std::strcmp(call, "write") ? 0 : ENOSPC; });
    EXPECT_EQ(test::errorText<EInOutError>([&] { client.Retrieve("f.hex", local, true); }),
              "Fehler beim Schreiben der Datei \"" + local +
                  "\". Auf dem Datenträger ist nicht genügend Speicherplatz verfügbar.");
    platform::setFaultHook(nullptr);
    EXPECT_EQ(openHandles(), fds);
    EXPECT_TRUE(client.Connected());
    // The transfer's final reply was taken in: the next command gets its own.
    server.once("CWD", {ftp::reply("550 No such directory\r\n")});
    EXPECT_EQ(test::errorText<EReplyError>([&] { client.ChangeDirectory("nowhere"); }),
              "No such directory\r\n");
}

TEST_F(FtpClientTest, OperationsWithoutAConnectionFailAsSocketErrors) {
    const std::string local = dir.write("Printer.drv", "keep me");
    const std::string notConnected =
        "Socket-Fehler # " + std::to_string(ENOTCONN) + "\r\nDer Socket ist nicht verbunden.";
    StringList dest;
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.ChangeDirectory("."); }), notConnected);
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.List(dest); }), notConnected);
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Retrieve("f", local, true); }),
              notConnected);
    EXPECT_EQ(readFile(local), "keep me");
    client.Disconnect(); // harmless when closed
}

TEST_F(FtpClientTest, ReleaseClosesWithoutQuit) {
    {
        net::FtpClient other;
        other.Host = "127.0.0.1";
        other.Port = server.port();
        other.Username = "u";
        other.Connect();
    }
    ASSERT_TRUE(server.waitClosed());
    for (const auto& c : server.commands())
        EXPECT_NE(c, "QUIT");
}

// A server that breaks off, or answers on the control connection instead of connecting for
// data, ends the transfer with an error instead of a hang.
struct HostileCase {
    const char* name;
    FtpScript retr;
    std::string error;
    bool controlStays;
    const char* verb = "RETR"; // the command whose answer `retr` replaces
};

const std::string kNoData = "Der Server hat keine Datenverbindung aufgebaut.";

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class FtpHostileTest : public FtpClientTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(FtpHostileTest, EndsInAnErrorWithoutHanging) {
    const HostileCase& c = GetParam();
    const int fds = connectAndCountHandles();
    server.once(c.verb, c.retr);
    const std::string local = dir.file("Printer.drv");
    EXPECT_EQ(test::errorText<Exception>([&] { client.Retrieve("f.hex", local, true); }), c.error);
    EXPECT_EQ(client.Connected(), c.controlStays);
    if (c.controlStays) {
        EXPECT_EQ(openHandles(), fds);
        // Whatever the server said about the failed transfer, the next reply is the next
        // command's.
        server.once("CWD", {ftp::reply("550 No such directory\r\n")});
        EXPECT_EQ(test::errorText<EReplyError>([&] { client.ChangeDirectory("nowhere"); }),
                  "No such directory\r\n");
    } else {
        EXPECT_TRUE(server.waitClosed());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FtpHostileTest,
    ::testing::Values(
        HostileCase{"DropsBeforeTheDataConnection",
                    {ftp::reply("150 ok\r\n"), ftp::drop()},
                    kClosed,
                    false},
        HostileCase{"DropsInsideTheTransferReply",
                    {ftp::reply("150-starting\r\n150-still"), ftp::drop()},
                    kClosed,
                    false},
        HostileCase{"DropsAfterTheData",
                    {ftp::reply("150 ok\r\n"), ftp::data("abc"), ftp::drop()},
                    kClosed,
                    false},
        HostileCase{"RefusesTheDataConnectionAfter150",
                    {ftp::reply("150 ok\r\n425 Can't open data connection\r\n")},
                    "Can't open data connection\r\n",
                    true},
        HostileCase{"ResetsTheDataConnection",
                    {ftp::reply("150 ok\r\n"), ftp::dataReset(std::string(200000, 'x')),
                     ftp::reply("426 aborted\r\n226 done\r\n")},
                    "Socket-Fehler # " + std::to_string(test::kConnReset) +
                        "\r\nDie Verbindung wurde von Peer zurückgesetzt.",
                    true},
        HostileCase{"GarbageTransferReply", {ftp::reply("1x0 what\r\n")}, "what\r\n", true},
        // An accepted completion does not make up for data that never came.
        HostileCase{
            "CompletesWithoutConnecting", {ftp::reply("150 ok\r\n226 done\r\n")}, kNoData, true},
        HostileCase{"AbortsWithoutConnecting",
                    {ftp::reply("150 ok\r\n426 aborted\r\n226 closing\r\n")},
                    kNoData,
                    true},
        HostileCase{"DataOnlyFromAnotherHost",
                    {ftp::reply("150 ok\r\n"), ftp::data("forged", "127.0.0.2"),
                     ftp::reply("226 done\r\n")},
                    kNoData,
                    true},
        HostileCase{"RefusesThePortCommand",
                    {ftp::reply("500 Illegal PORT command\r\n")},
                    "Illegal PORT command\r\n",
                    true,
                    "PORT"},
        HostileCase{"EndlessReplyLine",
                    {ftp::reply("150 " + std::string(50000, 'y')), ftp::hang()},
                    kTooLong,
                    false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(FtpClientTest, EveryPreliminaryReplyOpensTheTransfer) {
    connect();
    const std::string local = dir.file("Printer.drv");
    for (const char* preliminary :
         {"125 Data connection already open", "150 Opening", "154 Starting"}) {
        server.once("RETR", {ftp::reply(std::string(preliminary) + "\r\n"), ftp::data(preliminary),
                             ftp::reply("226 done\r\n")});
        client.Retrieve("f.hex", local, true);
        EXPECT_EQ(readFile(local), preliminary);
    }
    StringList dest;
    server.once("LIST", {ftp::reply("150 ok\r\n226 done\r\n")});
    EXPECT_EQ(test::errorText<EProtocolError>([&] { client.List(dest); }), kNoData);
    client.ChangeDirectory(".");
}

TEST_F(FtpClientTest, DataConnectionsFromOtherHostsAreTurnedAway) {
    server.once("RETR", {ftp::reply("150 ok\r\n"), ftp::data("forged", "127.0.0.2"),
                         ftp::data("genuine"), ftp::reply("226 done\r\n")});
    connect();
    const std::string local = dir.file("Printer.drv");
    client.Retrieve("f.hex", local, true);
    EXPECT_EQ(readFile(local), "genuine");
}

TEST_F(FtpClientTest, AbortEndsAWaitWithoutLimit) {
    // The server never connects for the data, and later never answers at all.
    server.once("RETR", {ftp::reply("150 ok\r\n"), ftp::hang()});
    connect();
    const std::string cancelled =
        "Socket-Fehler # " + std::to_string(ECANCELED) + "\r\nDer Vorgang wurde abgebrochen.";
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.Abort();
    });
    EXPECT_EQ(test::errorText<ESocketError>(
                  [&] { client.Retrieve("f.hex", dir.file("Printer.drv"), true); }),
              cancelled);
    stopper.join();
    EXPECT_FALSE(client.Connected()) << "after a cancel the control connection is closed";
    EXPECT_TRUE(server.waitClosed());

    // The abort stays in force until it is reset.
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Connect(); }), cancelled);
    client.ResetAbort();

    // The process-wide flag stops a client blocked on a silent reply.
    server.on("SYST", {ftp::hang()});
    std::thread terminator([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::cancelAll();
    });
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Connect(); }), cancelled);
    terminator.join();
    platform::clearCancelAll();
    EXPECT_FALSE(client.Connected());
}

} // namespace
} // namespace corvana
