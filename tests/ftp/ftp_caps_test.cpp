// The FTP client against a server that never stops: a listing and a reply text that stream
// far past the client's caps (64 MB, 1 MB). The client ends with a clear error, holds no more
// than the cap meanwhile, and its connection serves the next command.
#include "net/ftpclient.h"
#include "net/netio.h"

#include "tests/netsupport/loopback.h"
#include "tests/support/procmem.h"
#include "util/errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace corvana {
namespace {

constexpr size_t kMB = 1u << 20;
constexpr size_t kListingCap = net::kMaxListing;
constexpr size_t kReplyCap = net::kMaxReplyText;

// A server of one session that answers the login and CWD, and streams: a LIST sends
// `listingBytes` of listing lines (stopping when the client goes); a "CWD big" gets a
// multi-line 550 of `replyBytes` before its last line.
class StreamingFtpServer {
public:
    size_t listingBytes = 0;
    size_t replyBytes = 0;
    std::atomic<size_t> listingSent{0};
    std::atomic<bool> listingCut{false};

    StreamingFtpServer() {
        listen_ = test::listenLoopback(port_);
        thread_ = std::thread([this] { run(); });
    }
    ~StreamingFtpServer() {
        if (thread_.joinable())
            thread_.join();
        test::closeSocket(listen_);
    }
    uint16_t port() const { return port_; }

private:
    bool line(test::SocketFd fd, std::string& buf, std::string& out) {
        for (;;) {
            const size_t lf = buf.find('\n');
            if (lf != std::string::npos) {
                out = buf.substr(0, lf);
                if (!out.empty() && out.back() == '\r')
                    out.pop_back();
                buf.erase(0, lf + 1);
                return true;
            }
            char tmp[4096];
            const long n = test::receiveSome(fd, tmp, sizeof tmp);
            if (n <= 0)
                return false;
            buf.append(tmp, static_cast<size_t>(n));
        }
    }

    void run() {
        const test::SocketFd fd = test::acceptOn(listen_);
        if (fd == test::kNoSocket)
            return;
        test::sendAll(fd, "220 streaming\r\n");
        std::string buf, cmd;
        uint16_t dataPort = 0;
        while (line(fd, buf, cmd)) {
            if (cmd.rfind("USER", 0) == 0) {
                test::sendAll(fd, "230 in\r\n");
            } else if (cmd == "TYPE I") {
                test::sendAll(fd, "200 binary\r\n");
            } else if (cmd == "SYST") {
                test::sendAll(fd, "215 UNIX\r\n");
            } else if (cmd == "CWD big") {
                std::string chunk;
                const std::string l = "550-" + std::string(1020, 'r') + "\r\n";
                while (chunk.size() < kMB)
                    chunk += l;
                bool ok = true;
                for (size_t sent = 0; ok && sent < replyBytes; sent += chunk.size())
                    ok = test::sendAll(fd, chunk);
                test::sendAll(fd, "550 no such directory\r\n");
            } else if (cmd.rfind("CWD", 0) == 0) {
                test::sendAll(fd, "250 ok\r\n");
            } else if (cmd.rfind("PORT ", 0) == 0) {
                unsigned h[4], p[2];
                if (std::sscanf(cmd.c_str() + 5, "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3],
                                &p[0], &p[1]) == 6)
                    dataPort = static_cast<uint16_t>(p[0] * 256 + p[1]);
                test::sendAll(fd, "200 port\r\n");
            } else if (cmd == "LIST") {
                test::sendAll(fd, "150 listing\r\n");
                const test::SocketFd data = test::connectTo("127.0.0.1", dataPort);
                std::string chunk;
                const std::string l = "-rw-r--r-- 1 ftp ftp 81234 Dec 01 10:00 PQD_12345.hex\r\n";
                while (chunk.size() < kMB)
                    chunk += l;
                bool ok = data != test::kNoSocket;
                while (ok && listingSent < listingBytes) {
                    ok = test::sendAll(data, chunk);
                    if (ok)
                        listingSent += chunk.size();
                }
                listingCut = !ok;
                test::closeSocket(data);
                test::sendAll(fd, ok ? "226 done\r\n"
                                     : "451 transfer aborted: data connection lost\r\n");
            } else {
                test::sendAll(fd, "502 not here\r\n");
            }
        }
        test::closeSocket(fd);
    }

    test::SocketFd listen_ = test::kNoSocket;
    uint16_t port_ = 0;
    std::thread thread_;
};

void connect(net::FtpClient& ftp, uint16_t port) {
    ftp.Host = "127.0.0.1";
    ftp.Port = port;
    ftp.Username = "ftpHEX";
    ftp.Connect();
}

TEST(FtpCaps, ListingPastItsCapEndsWithAnErrorAndTheConnectionGoesOn) {
    StreamingFtpServer server;
    server.listingBytes = 8 * kListingCap;
    net::FtpClient ftp;
    connect(ftp, server.port());
    StringList dest;
    dest.Add("before");
    const bool measured = test::kMemoryMeasurable && test::resetPeakRss();
    const long before = test::procStatusKb("VmRSS:");
    try {
        ftp.List(dest);
        FAIL() << "a listing past the cap was taken";
    } catch (const EProtocolError& e) {
        EXPECT_STREQ(e.what(), "Die Verzeichnisliste ist zu groß.");
    }
    const long grown = test::procStatusKb("VmHWM:") - before;
    // The server was stopped by the client closing the data connection, not by its own end.
    EXPECT_TRUE(server.listingCut.load());
    EXPECT_LT(server.listingSent.load(), 2 * kListingCap);
    // The cap and the buffers it outgrew on the way, which the allocator may keep (between
    // two and three times the cap, as the heap falls); a client without the cap would have
    // taken all the eight times the cap the server offers.
    if (measured) {
        EXPECT_LT(grown, static_cast<long>(3 * kListingCap / 1024)) << grown << " kB";
    }
    EXPECT_EQ(dest.lines(), std::vector<std::string>{"before"});
    // The abort reply was collected: the next command gets its own answer.
    ASSERT_TRUE(ftp.Connected());
    ftp.ChangeDirectory(".");
    EXPECT_EQ(ftp.LastReply().Code, 250);
}

TEST(FtpCaps, ListingJustBelowItsCapIsTaken) {
    StreamingFtpServer server;
    server.listingBytes = kListingCap - kMB; // whole chunks, one short of the cap
    net::FtpClient ftp;
    connect(ftp, server.port());
    StringList dest;
    ftp.List(dest);
    EXPECT_FALSE(server.listingCut.load());
    EXPECT_GT(dest.Count(), 1000000);
    EXPECT_EQ(dest[0], "-rw-r--r-- 1 ftp ftp 81234 Dec 01 10:00 PQD_12345.hex");
}

TEST(FtpCaps, ReplyTextPastItsCapIsCutAndTheConnectionGoesOn) {
    StreamingFtpServer server;
    server.replyBytes = 48 * kMB;
    net::FtpClient ftp;
    connect(ftp, server.port());
    const bool measured = test::kMemoryMeasurable && test::resetPeakRss();
    const long before = test::procStatusKb("VmRSS:");
    try {
        ftp.ChangeDirectory("big");
        FAIL() << "a refused CWD passed";
    } catch (const EReplyError& e) {
        EXPECT_EQ(e.replyCode, 550);
        const std::string text = e.what();
        // The cap counts whole lines; the text keeps them without their "550-".
        EXPECT_GE(text.size(), kReplyCap * 9 / 10);
        EXPECT_LT(text.size(), kReplyCap + 4096);
        EXPECT_EQ(text.substr(0, 6), std::string(6, 'r'));
    }
    const long grown = test::procStatusKb("VmHWM:") - before;
    if (measured) {
        EXPECT_LT(grown, 16 * 1024L) << grown << " kB"; // of the 48 MB sent
    }
    size_t kept = 0;
    for (const auto& l : ftp.LastReply().Text)
        kept += l.size();
    EXPECT_LT(kept, kReplyCap + 4096);
    // The whole reply was read up to its last line: the next answer is the next command's.
    ASSERT_TRUE(ftp.Connected());
    ftp.ChangeDirectory(".");
    EXPECT_EQ(ftp.LastReply().Code, 250);
}

} // namespace
} // namespace corvana
