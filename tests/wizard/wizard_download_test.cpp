// The download arrow end to end inside the window: the code server on loopback (scripted),
// the loader, the simulated remote; and the finished page's completion report.
#include <QCoreApplication>
#include <QKeyEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "device/waitclock.h"
#include "tests/netsupport/ftpstub.h"
#include "tests/support/hexrecords.h"
#include "tests/support/runlogs.h"
#include "tests/wizard/wizardfixture.h"
#include "tools/remotesim/remotesim.h"

using namespace corvana;
using namespace corvana::test;

namespace {

const char* kCodeFile = "PQD_12345.hex"; // the order of kOrderPage: DVD, 12345

// Data records of 16 bytes from 1000 on; record `badRecord` (from 1) gets a wrong checksum.
std::string codeFile(int records, int badRecord = 0) {
    auto lines =
        dataRecords(0x1000, 0x1000 + 16 * records - 1, [](int a) { return a * 13 & 0xFF; });
    if (badRecord > 0)
        lines[badRecord - 1] = withWrongChecksum(lines[badRecord - 1]);
    lines.push_back(kEndRecord);
    return joinLines(lines);
}

class DownloadTest : public WizardSimTest {
protected:
    void SetUp() override {
        WizardSimTest::SetUp();
        server.setListing(std::string(kCodeFile) + "\r\nPQT_10000.hex\r\n");
    }

    void download() {
        form->show();
        form->AdvPictureWeiter->Click();
        form->AdvPictureDownload->Click();
    }
    std::string localFile() const { return tmp.path() + "/corvana-" + std::to_string(::getuid()); }
    bool sentCommand(const std::string& c) const {
        for (const auto& line : server.commands())
            if (line == c)
                return true;
        return false;
    }

    FtpStub server;
    ScopedEnv serverPort{"CORVANA_CODE_SERVER_PORT", std::to_string(server.port())};
    TempDir tmp;
    ScopedEnv tmpDir{"TMPDIR", tmp.path()};
};

TEST_F(DownloadTest, WholeOrderProgramsTheRemoteAndCleansUp) {
    server.setFile(kCodeFile, codeFile(12)); // 1000..10BF: three blocks
    download();
    EXPECT_EQ(page(), "AdvTabSheet4");
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    // every byte of the served file is in the remote, the filler after it FF
    const auto image = sim.image();
    for (int a = 0x1000; a < 0x10C0; ++a)
        ASSERT_EQ(image.at(a), (a * 13) & 0xFF) << std::hex << a;
    EXPECT_EQ(image.at(0x10C0), 0xFF);
    EXPECT_EQ(sim.frames().size(), 2u + 3u); // $, #, three blocks
    EXPECT_TRUE(sentCommand("RETR PQD_12345.hex"));
    EXPECT_TRUE(sentCommand("LIST"));
    EXPECT_FALSE(sentCommand("QUIT"));
    EXPECT_EQ(form->ListBox1.lines(), (std::vector<std::string>{kCodeFile, "PQT_10000.hex"}));
    EXPECT_FALSE(std::filesystem::exists(localFile() + "/Printer.drv"));
    EXPECT_FALSE(form->ComPort1.Connected());
    EXPECT_TRUE(server.waitClosed());
}

// A file the server lacks, and a transfer whose data never came (the server reports it
// complete without connecting, or only a stranger connects): the remote is left alone.
TEST_F(DownloadTest, FailedDownloadClosesTheWizardWithoutOpeningThePort) {
    server.setFile(kCodeFile, codeFile(4));
    const std::vector<std::pair<const char*, FtpScript>> rows{
        {"absent", {ftp::reply("550 No such file\r\n")}},
        {"no data connection", {ftp::reply("150 ok\r\n226 done\r\n")}},
        {"data from a stranger",
         {ftp::reply("150 ok\r\n"), ftp::data(codeFile(4), "127.0.0.2"),
          ftp::reply("226 done\r\n")}},
    };
    int sessions = 0;
    for (const auto& [name, retr] : rows) {
        SCOPED_TRACE(name);
        boxes.clear();
        browser->backCalls = 0;
        browser->index = 1;
        browser->location = kOrderPage;
        server.once("RETR", retr);
        download();
        EXPECT_EQ(boxes, (std::vector<std::string>{"Datei nicht vorhanden\rFile not found"}));
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(browser->backCalls, 1);
        EXPECT_TRUE(sim.frames().empty());
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_TRUE(server.waitClosed());
        EXPECT_EQ(server.sessions(), ++sessions);
    }
}

TEST_F(DownloadTest, ChecksumErrorSendsNothingAndDeletesTheLocalFile) {
    server.setFile(kCodeFile, codeFile(6, 3));
    download();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Check Sum Error!!!!!-- [4128]"); // 1020, in decimal
    EXPECT_TRUE(sim.frames().empty());
    EXPECT_EQ(page(), "AdvTabSheet3");
    EXPECT_FALSE(std::filesystem::exists(localFile() + "/Printer.drv"));
    EXPECT_TRUE(server.waitClosed());
}

TEST_F(DownloadTest, RefusedDirectoryChangeIsReportedAndTheRunGoesOn) {
    server.on("CWD", {ftp::reply("550 Permission denied\r\n")});
    server.setFile(kCodeFile, codeFile(4));
    download();
    EXPECT_EQ(boxes, (std::vector<std::string>{"Fehler(1)"}));
    EXPECT_TRUE(sentCommand("LIST"));
    EXPECT_TRUE(sentCommand("RETR PQD_12345.hex"));
    EXPECT_EQ(page(), "AdvTabSheet4");
}

// An error in the middle of the run still ends the download, but leaves neither the port held
// nor the code file behind: a file without an end record keeps the end address "Edit1".
TEST_F(DownloadTest, ErrorDuringTheRunClosesThePortAndDeletesTheLocalFile) {
    std::string noEnd = codeFile(4);
    noEnd.erase(noEnd.find(":00000001FF"));
    server.setFile(kCodeFile, noEnd);
    download();
    EXPECT_EQ(boxes, (std::vector<std::string>{"'$Edit1' ist kein gültiger Integerwert."}));
    EXPECT_EQ(sim.frames().size(), 2u); // checked and prepared, then the error
    EXPECT_FALSE(form->ComPort1.Connected());
    EXPECT_FALSE(std::filesystem::exists(localFile() + "/Printer.drv"));
    EXPECT_EQ(page(), "AdvTabSheet3");
    EXPECT_TRUE(server.waitClosed());
}

// A code server that takes its time: while the download holds the window, the busy picture
// goes on moving (every frame painted counted), and the input that comes meanwhile waits
// until the download has let go of the thread. No remote is attached, so nothing after the
// download pumps the loop either.
TEST_F(DownloadTest, BusyPictureMovesWhileTheDownloadHoldsTheWindow) {
    sim.unplug();
    server.setFile(kCodeFile, codeFile(4));
    server.on("RETR", {ftp::reply("150 ok\r\n"), ftp::pause(2000), ftp::data(codeFile(4)),
                       ftp::reply("226 done\r\n")});
    struct Watch : QObject {
        TForm1* form = nullptr;
        int lastFrame = -1, framesPainted = 0, keys = 0;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (o == form->Image2 && e->type() == QEvent::Paint &&
                form->Image2->Frame() != lastFrame) {
                lastFrame = form->Image2->Frame();
                ++framesPainted;
            }
            if (o == form && e->type() == QEvent::KeyPress)
                ++keys;
            return false;
        }
    } watch;
    watch.form = form;
    form->installEventFilter(&watch);
    form->Image2->installEventFilter(&watch);
    form->show();
    form->AdvPictureWeiter->Click();
    // The key press comes while the server holds the file back.
    std::thread typist([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!sentCommand("RETR PQD_12345.hex") && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QCoreApplication::postEvent(
            form, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    });
    form->AdvPictureDownload->Click();
    typist.join();
    const int framesDuringDownload = watch.framesPainted;
    EXPECT_EQ(watch.keys, 0) << "input taken while the download held the window";
    EXPECT_GE(framesDuringDownload, 10);
    EXPECT_EQ(form->LabelQYX5->Caption(),
              "Keine Hardware angeschlossen! - Bitte QYX PQ DVD anschliessen!")
        << "the download went through";
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.keys, 1) << "the input is taken once the window is free again";
    form->Image2->removeEventFilter(&watch);
    form->removeEventFilter(&watch);
}

// The cable pulled in the middle of the run: the port's error is shown, the port closed and
// the code file deleted; with the remote back, the order opened again goes through.
TEST_F(DownloadTest, RemoteVanishingMidRunThenComingBack) {
    server.setFile(kCodeFile, codeFile(12)); // three blocks: frames 3 to 5
    for (const int frame : {1, 4}) {         // the device-type check, the second block
        SCOPED_TRACE(frame);
        auto gone = std::make_unique<ReturningRemote>("02");
        sim::Faults f;
        f.vanishAt = frame;
        gone->sim.setFaults(f);
        boxes.clear();
        browser->index = 1;
        browser->location = kOrderPage;
        download();
        EXPECT_EQ(boxes,
                  (std::vector<std::string>{"ReadFile function failed (win error code: 5)"}));
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_FALSE(std::filesystem::exists(localFile() + "/Printer.drv"));
        EXPECT_TRUE(server.waitClosed());
        gone.reset();
        form->close();

        ReturningRemote back("02");
        boxes.clear();
        browser->index = 1;
        browser->location = kOrderPage;
        download();
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_EQ(page(), "AdvTabSheet4");
        EXPECT_EQ(back.sim.frames().size(), 5u);
        EXPECT_EQ(back.sim.image().at(0x10BF), (0x10BF * 13) & 0xFF);
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_TRUE(server.waitClosed());
        form->close();
    }
}

// The completion report: which hosts are asked, with which address, and where it ends.
class ReportTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        form->show();
        form->EnterFinishedPage();
    }
    std::vector<std::string> requestLines() const {
        std::vector<std::string> out;
        for (const auto& r : portal.requests())
            out.push_back(r.raw.substr(0, r.raw.find("\r\n")));
        return out;
    }
};

const std::string kGerman = "GET /Corvana/(S(q1w2e3))/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1";
const std::string kInternational = "GET /(S(q1w2e3))/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1";

TEST_F(ReportTest, GermanHostAnswerIsEnough) {
    portal.respond("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nthanks");
    form->AdvPictureFertig->Click();
    EXPECT_EQ(requestLines(), std::vector<std::string>{kGerman});
    EXPECT_EQ(page(), "AdvTabSheet6");
    EXPECT_EQ(form->Label12->Caption(), "Beenden");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ReportTest, EmptyBodyRedirectOrErrorAsksTheInternationalHost) {
    for (const char* first : {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
                              "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n",
                              "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!"}) {
        HttpStub host;
        ScopedEnv de("CORVANA_PORTAL_HOST_DE", host.hostPort());
        host.respond(first, HttpStub::Then::Close);
        portal.respond("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        form->EnterFinishedPage();
        form->AdvPictureFertig->Click();
        ASSERT_EQ(host.requests().size(), 1u) << first;
        EXPECT_EQ(host.requests()[0].raw.substr(0, kGerman.size()), kGerman);
        EXPECT_EQ(requestLines().back(), kInternational) << first;
        EXPECT_EQ(page(), "AdvTabSheet6") << first;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ReportTest, BothHostsDownShowOneErrorAndStayOnTheFinishedPage) {
    ScopedEnv de("CORVANA_PORTAL_HOST_DE", "127.0.0.1:" + std::to_string(unusedPort()));
    ScopedEnv intl("CORVANA_PORTAL_HOST_INT", "127.0.0.1:" + std::to_string(unusedPort()));
    form->AdvPictureFertig->Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Socket-Fehler # 111\r\n", 0), 0u) << boxes[0];
    EXPECT_EQ(page(), "AdvTabSheet4");
    form->AdvPictureFertig->Click(); // the arrow can be pressed again
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(page(), "AdvTabSheet4");
}

// The run log of an order: from the download arrow to the completion report, with what the
// code server, the remote and the portal were sent and answered, and nothing of the secrets.
class RunLogTest : public DownloadTest {
protected:
    StateFolder state;
};

TEST_F(RunLogTest, OrderLogHoldsItsDialogueAndFramesButNoSecrets) {
    server.setFile(kCodeFile, codeFile(12));
    download();
    ASSERT_EQ(page(), "AdvTabSheet4");
    portal.respond("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nthanks");
    form->AdvPictureFertig->Click();
    ASSERT_EQ(page(), "AdvTabSheet6");

    ASSERT_EQ(state.logs().size(), 1u);
    const LoggedRun log = state.newest();
    EXPECT_NE(log.path.find("_12345.log"), std::string::npos) << log.path;
    EXPECT_EQ(log.sent(), sim.frames());
    EXPECT_EQ(log.texts("order"),
              (std::vector<std::string>{"number 12345", "designation 12345-PQ",
                                        "device type 02 DVD", "code file PQD_12345.hex"}));
    const auto ftp = log.texts("ftp>");
    for (const char* command :
         {"USER ftpHEX", "PASS ****", "TYPE I", "CWD .", "LIST", "RETR PQD_12345.hex"})
        EXPECT_NE(std::find(ftp.begin(), ftp.end(), command), ftp.end()) << command;
    EXPECT_FALSE(log.texts("ftp<").empty());
    EXPECT_EQ(log.texts("load")[0].rfind("13 records, end address 10BF, image sum ", 0), 0u);
    EXPECT_EQ(log.texts("http>"),
              std::vector<std::string>{"GET /Corvana/(S(****))/Statistik.aspx?QYX=QYX12345-PQ "
                                       "HTTP/1.1  (host " +
                                       portal.hostPort() + ")"});
    EXPECT_EQ(log.texts("http<"), std::vector<std::string>{"HTTP/1.1 200 OK"});
    EXPECT_EQ(log.texts("result"),
              std::vector<std::string>{"programmed: Download QYX12345 erfolgreich beendet! / "
                                       "Download QYX12345 successfully finished!"});
    EXPECT_EQ(log.lines.back().tag, "report");
    for (const char* secret : {"47_qmr&cd$83", "q1w2e3", "passcode"})
        EXPECT_EQ(log.text.find(secret), std::string::npos) << secret;
    EXPECT_EQ(SummarizeRunLog(log.path).outcome, "programmed");
    EXPECT_TRUE(SummarizeRunLog(log.path).reported);
}

TEST_F(RunLogTest, RunCutByAVanishedRemoteEndsWithTheLastFrameSent) {
    server.setFile(kCodeFile, codeFile(12));
    sim::Faults f;
    f.vanishAt = 4;
    sim.setFaults(f);
    download();
    ASSERT_EQ(sim.frames().size(), 4u);
    const LoggedRun log = state.newest();
    EXPECT_EQ(log.sent(), sim.frames());
    ASSERT_FALSE(boxes.empty());
    // The port's error, or under load the time-out first ("Fehler(2)"): what the user saw.
    EXPECT_EQ(log.lines.back().tag, "result");
    EXPECT_NE(log.lines.back().text.find(": " + boxes.back()), std::string::npos) << log.text;
}

TEST_F(RunLogTest, EveryWayOutOfTheDownloadEndsTheLog) {
    struct Row {
        const char* name;
        std::function<void()> arrange;
        std::string result;
    } rows[] = {
        {"checksum", [&] { server.setFile(kCodeFile, codeFile(6, 3)); },
         "bad code file: Check Sum Error!!!!!-- [4128]"},
        {"wrong hardware",
         [&] {
             server.setFile(kCodeFile, codeFile(4));
             sim.setDeviceType("01");
         },
         "wrong hardware: Falsche Hardware angeschlossen! - Bitte QYX PQ DVD anschliessen! / "
         "Wrong Hardware ! - Please connect QYX PQ DVD!"},
        // last: the wizard closes, and the portal goes back from the order page
        {"file missing", [&] { server.once("RETR", {ftp::reply("550 No such file\r\n")}); },
         "file not found: Datei nicht vorhanden\\x0DFile not found"},
    };
    for (const auto& row : rows) {
        row.arrange();
        download();
        const LoggedRun log = state.newest();
        EXPECT_EQ(log.texts("result"), std::vector<std::string>{row.result}) << row.name;
        form->hide();
    }
    EXPECT_EQ(state.logs().size(), 3u);
}

} // namespace
