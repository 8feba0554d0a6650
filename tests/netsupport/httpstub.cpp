#include "tests/netsupport/httpstub.h"

#include <chrono>

namespace corvana::test {

HttpStub::HttpStub() {
    listen_ = listenLoopback(port_);
    thread_ = std::thread([this] { run(); });
}

HttpStub::~HttpStub() {
    stop_.signal();
    if (thread_.joinable())
        thread_.join();
    closeSocket(listen_);
}

void HttpStub::respond(std::string raw, Then then) {
    std::lock_guard l(mu_);
    script_.emplace_back(std::move(raw), then);
}

std::vector<HttpStub::Request> HttpStub::requests() const {
    std::lock_guard l(mu_);
    return requests_;
}

int HttpStub::connections() const {
    std::lock_guard l(mu_);
    return connections_;
}

int HttpStub::closedByClient() const {
    std::lock_guard l(mu_);
    return closedByClient_;
}

bool HttpStub::waitClientClosed(int n, int ms) {
    std::unique_lock l(mu_);
    return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return closedByClient_ >= n; });
}

bool HttpStub::waitServerClosed(int n, int ms) {
    std::unique_lock l(mu_);
    return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return closedByServer_ >= n; });
}

void HttpStub::run() {
    std::vector<Conn> conns;
    for (;;) {
        std::vector<Watched> p{{stop_.fd()}, {listen_}};
        for (const auto& c : conns)
            p.push_back({c.fd});
        if (waitAny(p) < 0 || p[0].ready)
            break;
        const size_t polled = conns.size();
        if (p[1].ready) {
            const SocketFd fd = acceptOn(listen_);
            if (fd != kNoSocket) {
                std::lock_guard l(mu_);
                conns.push_back({fd, ++connections_, {}});
            }
        }
        for (size_t i = 0; i < polled; ++i) {
            if (!p[i + 2].ready)
                continue;
            Conn& c = conns[i];
            char chunk[4096];
            const long n = receiveSome(c.fd, chunk, sizeof chunk);
            bool close = n <= 0;
            if (n <= 0) {
                std::lock_guard l(mu_);
                ++closedByClient_;
            } else {
                c.in.append(chunk, static_cast<size_t>(n));
            }
            size_t end;
            while (!close && (end = c.in.find("\r\n\r\n")) != std::string::npos) {
                std::pair<std::string, Then> answer{
                    "HTTP/1.1 500 No scripted response\r\nContent-Length: 0\r\n\r\n", Then::Keep};
                {
                    std::lock_guard l(mu_);
                    requests_.push_back({c.in.substr(0, end + 4), c.number});
                    if (!script_.empty()) {
                        answer = script_.front();
                        script_.pop_front();
                    }
                }
                c.in.erase(0, end + 4);
                sendAll(c.fd, answer.first);
                close = answer.second == Then::Close;
            }
            if (close) {
                closeSocket(c.fd);
                c.fd = kNoSocket;
                if (n > 0) {
                    std::lock_guard l(mu_);
                    ++closedByServer_;
                }
            }
        }
        std::erase_if(conns, [](const Conn& c) { return c.fd == kNoSocket; });
        cv_.notify_all();
    }
    for (const auto& c : conns)
        closeSocket(c.fd);
}

} // namespace corvana::test
