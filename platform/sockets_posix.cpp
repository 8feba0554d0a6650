// TCP sockets on POSIX: the system calls under sockets.cpp. Waits are poll() on the socket
// and on the cancellation flags, each flag a non-blocking pipe.
#include "platform/sockets.h"

#include "platform/sockets_os.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace corvana::platform {
namespace {

int setBlocking(int fd, bool blocking) {
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0)
        return errno;
    const int want = blocking ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, want) < 0 ? errno : 0;
}

int wouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK ? os::kWouldBlock : err;
}

} // namespace

namespace os {

int wait(std::initializer_list<int> fds, Want want, int timeoutMs, const Canceller* cancel,
         int& which) {
    which = -1;
    const short events = want == Want::Read ? POLLIN : POLLOUT;
    std::vector<pollfd> p;
    p.reserve(fds.size() + 2);
    for (int fd : fds)
        p.push_back({fd, events, 0});
    const size_t flags = p.size();
    p.push_back({everyWait().fd(), POLLIN, 0});
    if (cancel)
        p.push_back({cancel->fd(), POLLIN, 0});
    const int r = platform::poll(p.data(), p.size(), timeoutMs);
    if (r < 0)
        return errno;
    for (size_t i = flags; i < p.size(); ++i)
        if (p[i].fd >= 0 && (p[i].revents & POLLIN))
            return ECANCELED;
    for (size_t i = 0; i < flags; ++i)
        if (p[i].revents & (events | POLLHUP | POLLERR | POLLNVAL)) {
            which = static_cast<int>(i);
            break;
        }
    return 0;
}

int resolve(const std::string& host, const std::string& service, const addrinfo& hints,
            addrinfo*& list) {
    int r;
    do {
        r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    } while (r == EAI_SYSTEM && errno == EINTR);
    return r == EAI_SYSTEM ? errno : r;
}

int hostUnreachable() {
    return EHOSTUNREACH;
}

int openSocket(int family, int type, int protocol, Socket& out) {
    out = Socket(::socket(family, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol));
    return out.valid() ? 0 : errno;
}

int startConnect(const Socket& s, const sockaddr* addr, size_t len) {
    if (::connect(s.fd(), addr, static_cast<socklen_t>(len)) == 0)
        return 0;
    return errno == EINPROGRESS || errno == EINTR ? kWouldBlock : errno;
}

int connectResult(const Socket& s) {
    int soerr = 0;
    socklen_t len = sizeof soerr;
    if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &soerr, &len) < 0)
        return errno;
    return soerr;
}

int connected(const Socket& s) {
    return setBlocking(s.fd(), true);
}

int bind(const Socket& s, const Endpoint& local) {
    return ::bind(s.fd(), reinterpret_cast<const sockaddr*>(&local.addr), local.len) < 0 ? errno
                                                                                         : 0;
}

int listen(const Socket& s, int backlog) {
    return ::listen(s.fd(), backlog) < 0 ? errno : 0;
}

int endpoint(const Socket& s, bool peer, Endpoint& out) {
    out.len = sizeof out.addr;
    auto* a = reinterpret_cast<sockaddr*>(&out.addr);
    const int r = peer ? ::getpeername(s.fd(), a, &out.len) : ::getsockname(s.fd(), a, &out.len);
    return r < 0 ? errno : 0;
}

int acceptOne(const Socket& listener, Socket& out, Endpoint& peer) {
    peer.len = sizeof peer.addr;
    const int fd = platform::retryEintr([&] {
        return ::accept4(listener.fd(), reinterpret_cast<sockaddr*>(&peer.addr), &peer.len,
                         SOCK_CLOEXEC);
    });
    if (fd < 0)
        return wouldBlock(errno);
    out = Socket(fd);
    return 0;
}

int sendSome(const Socket& s, const char* data, size_t len, size_t& sent) {
    const ssize_t n = platform::retryEintr(
        [&] { return ::send(s.fd(), data, len, MSG_NOSIGNAL | MSG_DONTWAIT); });
    if (n < 0)
        return wouldBlock(errno);
    sent = static_cast<size_t>(n);
    return 0;
}

int receiveSome(const Socket& s, void* buf, size_t len, size_t& got) {
    const ssize_t n = platform::retryEintr([&] { return ::recv(s.fd(), buf, len, MSG_DONTWAIT); });
    if (n < 0)
        return wouldBlock(errno);
    got = static_cast<size_t>(n);
    return 0;
}

std::string otherErrorText(int err) {
    if (err <= 0)
        return "";
    // Other platform numbers only when the shared table knows them; otherwise the second
    // line of the socket error stays empty.
    std::string text = platform::errorText(err);
    return text.rfind("Systemfehler:", 0) == 0 ? std::string() : text;
}

} // namespace os

Canceller::Canceller() noexcept : pipe_{-1, -1} {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) < 0)
        pipe_[0] = pipe_[1] = -1;
}

Canceller::~Canceller() {
    if (pipe_[0] >= 0)
        ::close(pipe_[0]);
    if (pipe_[1] >= 0)
        ::close(pipe_[1]);
}

void Canceller::trigger() noexcept {
    if (pipe_[1] < 0)
        return;
    const char b = 1;
    // A full pipe means the flag is raised already.
    [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &b, 1);
}

void Canceller::clear() noexcept {
    if (pipe_[0] < 0)
        return;
    char buf[64];
    while (::read(pipe_[0], buf, sizeof buf) > 0) {
    }
}

bool Canceller::triggered() const noexcept {
    if (pipe_[0] < 0)
        return false;
    pollfd p{pipe_[0], POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void Socket::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool peerGone(const Socket& s) {
    pollfd p{s.fd(), POLLIN, 0};
    const int r = platform::retryEintr([&] { return ::poll(&p, 1, 0); });
    // Readable while idle means closed, reset, or something we did not ask for: in each
    // case the connection cannot carry the next exchange.
    return r != 0;
}

} // namespace corvana::platform
