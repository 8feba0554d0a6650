// The network clients on Winsock: the socket error numbers and texts of the platform, and a
// wait on a silent server that an abort ends at once. The transcripts against the scripted
// FTP and HTTP servers are the Linux tests' own, built for Windows as test_ftp and test_http.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "net/ftpclient.h"
#include "platform/sockets.h"
#include "util/errors.h"

using namespace corvana;

namespace {

// A loopback listener that accepts and then says nothing.
struct SilentServer {
    SilentServer() {
        s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(s, 4);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~SilentServer() { ::closesocket(s); }
    SOCKET s;
    uint16_t port = 0;
};

uint16_t unusedPort() {
    SilentServer probe; // bound, then closed: nobody listens there afterwards
    return probe.port;
}

std::string connectError(net::FtpClient& ftp) {
    try {
        ftp.Connect();
    } catch (const ESocketError& e) {
        return e.what();
    }
    return "no error";
}

TEST(WinNet, ARefusedConnectionGivesWinsocksNumberAndText) {
    net::FtpClient ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = unusedPort();
    EXPECT_EQ(connectError(ftp), "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
}

TEST(WinNet, TheTextsOfTheWsaNumbers) {
    struct Case {
        int err;
        const char* text;
    } cases[] = {{10061, "Verbindung abgelehnt."},
                 {10060, "Zeitüberschreitung bei Verbindung."},
                 {11001, "Host nicht gefunden."},
                 {10054, "Die Verbindung wurde von Peer zurückgesetzt."},
                 {10999, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::socketErrorText(c.err), c.text) << c.err;
    // A failed lookup reaches the message with its number.
    platform::setFaultHook([](const char* call) {
        return std::string(call) == "getaddrinfo" ? WSAHOST_NOT_FOUND : 0;
    });
    net::FtpClient ftp;
    ftp.Host = "code-server";
    const std::string got = connectError(ftp);
    platform::setFaultHook(nullptr);
    EXPECT_EQ(got, "Socket-Fehler # 11001\r\nHost nicht gefunden.");
}

TEST(WinNet, AnAbortEndsTheWaitForASilentServerAtOnce) {
    SilentServer server;
    net::FtpClient ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port;
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ftp.Abort();
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string got = connectError(ftp);
    aborter.join();
    EXPECT_EQ(got, "Socket-Fehler # " + std::to_string(ECANCELED) +
                       "\r\nDer Vorgang wurde abgebrochen.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
