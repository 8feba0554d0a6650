// The FTP session of the code-file download: its fixed settings, and which failures it turns
// into a false result and which it lets through.
#include "net/ftpsession.h"

#include "platform/sockets.h"
#include "tests/netsupport/expect.h"
#include "tests/netsupport/ftpstub.h"
#include "tests/support/scratchdir.h"
#include "util/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

namespace corvana {
namespace {

using test::FtpStub;
namespace ftp = test::ftp;
using Strings = std::vector<std::string>;

class FtpSessionTest : public ::testing::Test {
protected:
    FtpStub server;
    test::ScopedEnv host{"CORVANA_CODE_SERVER", "127.0.0.1"};
    test::ScopedEnv port{"CORVANA_CODE_SERVER_PORT", std::to_string(server.port())};
    test::TempDir dir;
};

TEST_F(FtpSessionTest, UsesTheCodeServerWithTheFixedAccount) {
    net::TFtpSession session;
    session.UseCodeServer();
    EXPECT_EQ(session.Client.Host, "127.0.0.1");
    EXPECT_EQ(session.Client.Port, server.port());
    EXPECT_EQ(session.Client.Username, "ftpHEX");
    EXPECT_EQ(session.Client.Password, "47_qmr&cd$83");
    EXPECT_EQ(session.Listing.Count(), 0);
}

TEST_F(FtpSessionTest, RefusedDirectoryChangeIsFalseAndTheDownloadGoesOn) {
    server.on("CWD", {ftp::reply("550 Permission denied\r\n")});
    server.setListing("QYX12345.hex\r\nQYX99999.hex\r\n");
    server.setFile("QYX12345.hex", ":00000001FF\r\n");
    const std::string local = dir.file("Printer.drv");
    {
        net::TFtpSession session;
        session.UseCodeServer();
        session.Client.Connect();
        EXPECT_FALSE(session.ChangeDirectory("."));
        const StringList& listing = session.ListFiles();
        EXPECT_EQ(&listing, &session.Listing);
        EXPECT_EQ(listing.lines(), (Strings{"QYX12345.hex", "QYX99999.hex"}));
        EXPECT_TRUE(session.Download("QYX12345.hex", local, true));
        session.Client.Disconnect();
    }
    ASSERT_TRUE(server.waitClosed());
    const Strings c = server.commands();
    ASSERT_EQ(c.size(), 9u);
    EXPECT_EQ(c[4], "CWD .");
    EXPECT_EQ(c[6], "LIST");
    EXPECT_EQ(c[8], "RETR QYX12345.hex");
    EXPECT_EQ(std::filesystem::file_size(local), 13u);
}

TEST_F(FtpSessionTest, FailedDownloadIsFalseAndReleaseClosesWithoutQuit) {
    const std::string local = dir.write("Printer.drv", "from an earlier run");
    {
        net::TFtpSession session;
        session.UseCodeServer();
        session.Client.Connect();
        // An empty code-file name still goes out as "RETR " and is refused.
        EXPECT_FALSE(session.Download("", local, true));
        EXPECT_TRUE(std::filesystem::exists(local));
        EXPECT_EQ(std::filesystem::file_size(local), 0u);
        EXPECT_FALSE(session.Download("x.hex", local, false)) << "the file exists";
    }
    ASSERT_TRUE(server.waitClosed());
    EXPECT_EQ(server.commands().back(), "RETR ");
    EXPECT_EQ(server.received().find("QUIT"), std::string::npos);
}

TEST_F(FtpSessionTest, ListingErrorsAreNotCaught) {
    server.on("LIST", {ftp::reply("550 No listing\r\n")});
    net::TFtpSession session;
    session.UseCodeServer();
    session.Client.Connect();
    EXPECT_EQ(test::errorText<EReplyError>([&] { session.ListFiles(); }), "No listing\r\n");
}

TEST_F(FtpSessionTest, CancellationPassesThroughTheBooleanResults) {
    server.on("RETR", {ftp::reply("150 ok\r\n"), ftp::hang()});
    net::TFtpSession session;
    session.UseCodeServer();
    session.Client.Connect();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        session.Client.Abort();
    });
    try {
        session.Download("f.hex", dir.file("Printer.drv"), true);
        ADD_FAILURE() << "the cancel was swallowed";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.osError, ECANCELED);
    }
    stopper.join();
    EXPECT_FALSE(session.Client.Connected());
}

} // namespace
} // namespace corvana
