#include "tests/netsupport/httpstub.h"

#include "tests/netsupport/loopback.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvana::test {

HttpStub::HttpStub() {
    listen_ = listenLoopback(port_);
    if (::pipe2(stop_, O_CLOEXEC) < 0)
        stop_[0] = stop_[1] = -1;
    thread_ = std::thread([this] { run(); });
}

HttpStub::~HttpStub() {
    if (stop_[1] >= 0) [[maybe_unused]]
        auto n = ::write(stop_[1], "x", 1);
    if (thread_.joinable())
        thread_.join();
    for (int fd : {listen_, stop_[0], stop_[1]})
        if (fd >= 0)
            ::close(fd);
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
        std::vector<pollfd> p{{stop_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
        for (const auto& c : conns)
            p.push_back({c.fd, POLLIN, 0});
        if (::poll(p.data(), p.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (p[0].revents)
            break;
        const size_t polled = conns.size();
        if (p[1].revents) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard l(mu_);
                conns.push_back({fd, ++connections_, {}});
            }
        }
        for (size_t i = 0; i < polled; ++i) {
            if (!p[i + 2].revents)
                continue;
            Conn& c = conns[i];
            char chunk[4096];
            const ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
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
                ::close(c.fd);
                c.fd = -1;
                if (n > 0) {
                    std::lock_guard l(mu_);
                    ++closedByServer_;
                }
            }
        }
        std::erase_if(conns, [](const Conn& c) { return c.fd < 0; });
        cv_.notify_all();
    }
    for (const auto& c : conns)
        ::close(c.fd);
}

} // namespace corvana::test
