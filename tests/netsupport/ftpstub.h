#pragma once
// A scripted FTP server on loopback. It plays the replies a test gives it, and otherwise
// standard ones of a well-behaved server, and records every byte the client sends on the
// control connection. Data connections it makes itself, active mode, to the last PORT address.

#include "tests/netsupport/loopback.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvana::test {

struct FtpStep {
    enum class Kind { Reply, Data, DataReset, Drop, Hang, Pause };
    Kind kind;
    std::string bytes;
    std::string from; // local address of a data connection ("" for the usual one)
    int ms = 0;
};
using FtpScript = std::vector<FtpStep>;

namespace ftp {
// Sent as is on the control connection (the script writes its own CR LF).
inline FtpStep reply(std::string raw) {
    return {FtpStep::Kind::Reply, std::move(raw), {}};
}
// Connects to the last PORT address (from `from` if given), sends `bytes`, closes.
inline FtpStep data(std::string bytes, std::string from = {}) {
    return {FtpStep::Kind::Data, std::move(bytes), std::move(from)};
}
// Connects, sends `bytes`, then resets the data connection.
inline FtpStep dataReset(std::string bytes) {
    return {FtpStep::Kind::DataReset, std::move(bytes), {}};
}
// Closes the control connection.
inline FtpStep drop() {
    return {FtpStep::Kind::Drop, {}, {}};
}
// Says nothing more until the client closes.
inline FtpStep hang() {
    return {FtpStep::Kind::Hang, {}, {}};
}
// Waits `ms` milliseconds before the next step.
inline FtpStep pause(int ms) {
    return {FtpStep::Kind::Pause, {}, {}, ms};
}
} // namespace ftp

class FtpStub {
public:
    FtpStub();
    ~FtpStub();
    FtpStub(const FtpStub&) = delete;
    FtpStub& operator=(const FtpStub&) = delete;

    uint16_t port() const { return port_; }

    void greeting(FtpScript s);
    // The answer to every command whose first word is `verb` (upper case).
    void on(const std::string& verb, FtpScript s);
    // The answer to the next such command only; later ones get the standing answer again.
    void once(const std::string& verb, FtpScript s);
    // What the standard LIST and RETR answers send.
    void setListing(std::string bytes);
    void setFile(const std::string& name, std::string bytes);

    // Every command line, without its CR LF.
    std::vector<std::string> commands() const;
    // Every byte received on control connections.
    std::string received() const;
    // The data ports the PORT commands announced, and their addresses ("127.0.0.1").
    std::vector<uint16_t> dataPorts() const;
    std::vector<std::string> dataHosts() const;
    // Waits until a control connection has ended (closed by the client, or dropped by a
    // script); false when `ms` ran out first.
    bool waitClosed(int ms = 10000);
    // Waits until the data connections the stub has made are all closed again (its own
    // sockets count among the process's handles); false when `ms` ran out first.
    bool waitDataClosed(int ms = 10000);
    int sessions() const;

private:
    void run();
    void serve(SocketFd fd);
    bool play(SocketFd fd, const FtpScript& s);
    FtpScript answer(const std::string& verb, const std::string& arg);
    bool readLine(SocketFd fd, std::string& buf, std::string& line);
    bool waitClientGone(SocketFd fd);

    SocketFd listen_ = kNoSocket;
    Wakeup stop_;
    uint16_t port_ = 0;
    std::thread thread_;

    mutable std::mutex mu_;
    std::condition_variable cv_;
    FtpScript greeting_;
    std::map<std::string, FtpScript> on_;
    std::map<std::string, std::vector<FtpScript>> once_;
    std::string listing_;
    std::map<std::string, std::string> files_;
    std::vector<std::string> commands_;
    std::string received_;
    std::vector<uint16_t> dataPorts_;
    std::vector<std::string> dataHosts_;
    int sessions_ = 0;
    int ended_ = 0;
    int waited_ = 0;
    int dataOpen_ = 0;
};

} // namespace corvana::test
