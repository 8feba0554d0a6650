#include "tests/netsupport/loopback.h"

#include <arpa/inet.h>
#include <cerrno>
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

int listenLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a = address("127.0.0.1", 0);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 16) < 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) < 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

int connectTo(const std::string& ip, uint16_t port, const std::string& from) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (!from.empty()) {
        sockaddr_in l = address(from, 0);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&l), sizeof l) < 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in a = address(ip, port);
    int r;
    do
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    while (r < 0 && errno == EINTR);
    if (r < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool waitReadable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    int r;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

bool sendAll(int fd, const std::string& bytes) {
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

void closeWithReset(int fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
}

uint16_t unusedPort() {
    uint16_t port = 0;
    const int fd = listenLoopback(port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace corvana::test
