#pragma once
// A scripted HTTP server on loopback. It answers each request with the next scripted
// response, byte for byte as the test wrote it, and records every request exactly as it
// arrived, with the number of the connection that carried it.

#include "tests/netsupport/loopback.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvana::test {

class HttpStub {
public:
    enum class Then { Keep, Close };
    struct Request {
        std::string raw; // up to and including the empty line
        int connection;  // 1 for the first connection accepted
    };

    HttpStub();
    ~HttpStub();
    HttpStub(const HttpStub&) = delete;
    HttpStub& operator=(const HttpStub&) = delete;

    uint16_t port() const { return port_; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

    // The answer to the next unanswered request. Without one, a request gets a 500.
    void respond(std::string raw, Then then = Then::Keep);

    std::vector<Request> requests() const;
    int connections() const;
    // Connections the client has closed.
    int closedByClient() const;
    // Waits until the client has closed `n` connections in all; false when `ms` ran out.
    bool waitClientClosed(int n, int ms = 10000);
    // The same for connections the server closed after a response (Then::Close).
    bool waitServerClosed(int n, int ms = 10000);

private:
    struct Conn {
        SocketFd fd;
        int number;
        std::string in;
    };
    void run();

    SocketFd listen_ = kNoSocket;
    Wakeup stop_;
    uint16_t port_ = 0;
    std::thread thread_;

    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::deque<std::pair<std::string, Then>> script_;
    std::vector<Request> requests_;
    int connections_ = 0;
    int closedByClient_ = 0;
    int closedByServer_ = 0;
};

} // namespace corvana::test
