// POSIX signals during the FTP client's waits: a handler installed without SA_RESTART breaks
// every blocking call off with EINTR, and the client must carry on. (Windows has no such
// signals; this file is built for POSIX only.)
#include "net/ftpclient.h"

#include "tests/netsupport/ftpstub.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <pthread.h>
#include <sstream>
#include <thread>

namespace corvana {
namespace {

namespace ftp = test::ftp;

TEST(FtpSignalTest, SignalsDuringTheWaitsAreRetried) {
    test::FtpStub server;
    test::TempDir dir;
    net::FtpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.Username = "ftpHEX";
    client.Password = "47_qmr&cd$83";

    struct sigaction sa {
    }, old{};
    sa.sa_handler = [](int) {};
    ::sigaction(SIGUSR1, &sa, &old);
    server.on("USER", {ftp::pause(200), ftp::reply("331 Password\r\n")});
    server.once("RETR", {ftp::reply("150 ok\r\n"), ftp::pause(200), ftp::data("slow"),
                         ftp::pause(200), ftp::reply("226 done\r\n")});
    const pthread_t self = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread pester([&] {
        while (!done) {
            ::pthread_kill(self, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const std::string local = dir.file("Printer.drv");
    EXPECT_NO_THROW({
        client.Connect();
        client.Retrieve("f.hex", local, true);
    });
    done = true;
    pester.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    std::ifstream in(local, std::ios::binary);
    std::ostringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "slow");
}

} // namespace
} // namespace corvana
