#include "tests/netsupport/loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvana::test {
namespace {

sockaddr_in address(const std::string& ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

} // namespace

SocketFd listenLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kNoSocket;
    sockaddr_in a = address("127.0.0.1", 0);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 16) < 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) < 0) {
        ::close(fd);
        return kNoSocket;
    }
    port = ntohs(a.sin_port);
    return fd;
}

SocketFd acceptOn(SocketFd listener) {
    int fd;
    do
        fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? kNoSocket : fd;
}

SocketFd connectTo(const std::string& ip, uint16_t port, const std::string& from) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kNoSocket;
    if (!from.empty()) {
        sockaddr_in l = address(from, 0);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&l), sizeof l) < 0) {
            ::close(fd);
            return kNoSocket;
        }
    }
    sockaddr_in a = address(ip, port);
    int r;
    do
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    while (r < 0 && errno == EINTR);
    if (r < 0) {
        ::close(fd);
        return kNoSocket;
    }
    return fd;
}

void closeSocket(SocketFd fd) {
    if (fd != kNoSocket)
        ::close(fd);
}

void closeWithReset(SocketFd fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
}

int waitAny(std::vector<Watched>& set, int ms) {
    std::vector<pollfd> p;
    for (const auto& w : set)
        p.push_back({w.fd, POLLIN, 0});
    int r;
    do
        r = ::poll(p.data(), p.size(), ms);
    while (r < 0 && errno == EINTR);
    for (size_t i = 0; i < set.size(); ++i)
        set[i].ready = r > 0 && p[i].revents != 0;
    return r;
}

bool sendAll(SocketFd fd, const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

long receiveSome(SocketFd fd, char* buf, size_t len) {
    ssize_t n;
    do
        n = ::recv(fd, buf, len, 0);
    while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

uint16_t unusedPort() {
    uint16_t port = 0;
    closeSocket(listenLoopback(port));
    return port;
}

Wakeup::Wakeup() {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) == 0) {
        read_ = p[0];
        write_ = p[1];
    }
}

Wakeup::~Wakeup() {
    closeSocket(read_);
    closeSocket(write_);
}

void Wakeup::signal() {
    if (write_ != kNoSocket) [[maybe_unused]]
        auto n = ::write(write_, "x", 1);
}

int openHandles() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

} // namespace corvana::test
