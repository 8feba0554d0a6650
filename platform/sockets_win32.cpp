// TCP sockets on Winsock: the system calls under sockets.cpp. Every socket of ours is
// non-blocking and every wait is a select() that also watches the cancellation flags: each flag
// is a UDP socket on the loopback address to which trigger() sends itself a byte, so a raised
// flag wakes a wait at once.
#include "platform/sockets.h"

#include "platform/sockets_os.h"

#include <cerrno>
#include <vector>

namespace corvana::platform {
namespace {

// Winsock is started before the first socket (the process-wide flag below needs it, whichever
// file's objects are constructed first) and stays up until the process ends.
bool winsockUp() {
    static const bool ok = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

SOCKET handle(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(fd));
}

int number(SOCKET s) {
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

int lastError() {
    return ::WSAGetLastError();
}

int wouldBlock(int err) {
    return err == WSAEWOULDBLOCK ? os::kWouldBlock : err;
}

SOCKET newSocket(int family, int type, int protocol) {
    const SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0,
                                  WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return s;
    u_long on = 1;
    if (::ioctlsocket(s, FIONBIO, &on) != 0) {
        const int err = lastError();
        ::closesocket(s);
        ::WSASetLastError(err);
        return INVALID_SOCKET;
    }
    return s;
}

int chunk(size_t len) {
    return static_cast<int>(len > (1u << 30) ? (1u << 30) : len);
}

} // namespace

namespace os {

int wait(std::initializer_list<int> fds, Want want, int timeoutMs, const Canceller* cancel,
         int& which) {
    which = -1;
    fd_set ready, failed, flags;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_ZERO(&flags);
    for (const int fd : fds) {
        FD_SET(handle(fd), &ready);
        FD_SET(handle(fd), &failed);
    }
    for (const Canceller* c : {static_cast<const Canceller*>(&everyWait()), cancel})
        if (c && c->fd() >= 0)
            FD_SET(handle(c->fd()), &flags);
    timeval tv{};
    timeval* limit = nullptr;
    if (timeoutMs >= 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        limit = &tv;
    }
    // Winsock's select() takes the read, write and except sets; the flags are read sets.
    fd_set reads = want == Want::Read ? ready : flags;
    if (want == Want::Read)
        for (u_int i = 0; i < flags.fd_count; ++i)
            FD_SET(flags.fd_array[i], &reads);
    fd_set writes = ready;
    const int r = ::select(0, &reads, want == Want::Write ? &writes : nullptr, &failed, limit);
    if (r == SOCKET_ERROR)
        return lastError();
    for (const Canceller* c : {static_cast<const Canceller*>(&everyWait()), cancel})
        if (c && c->fd() >= 0 && FD_ISSET(handle(c->fd()), &reads))
            return ECANCELED;
    int i = 0;
    for (const int fd : fds) {
        const SOCKET s = handle(fd);
        if (FD_ISSET(s, &failed) || (want == Want::Read && FD_ISSET(s, &reads)) ||
            (want == Want::Write && FD_ISSET(s, &writes))) {
            which = i;
            break;
        }
        ++i;
    }
    return 0;
}

int resolve(const std::string& host, const std::string& service, const addrinfo& hints,
            addrinfo*& list) {
    if (!winsockUp())
        return WSANOTINITIALISED;
    return ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
}

int hostUnreachable() {
    return WSAEHOSTUNREACH;
}

int openSocket(int family, int type, int protocol, Socket& out) {
    out = Socket(number(newSocket(family, type, protocol)));
    return out.valid() ? 0 : lastError();
}

int startConnect(const Socket& s, const sockaddr* addr, size_t len) {
    if (::connect(handle(s.fd()), addr, static_cast<int>(len)) == 0)
        return 0;
    return wouldBlock(lastError());
}

int connectResult(const Socket& s) {
    int soerr = 0;
    int len = sizeof soerr;
    if (::getsockopt(handle(s.fd()), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soerr), &len) !=
        0)
        return lastError();
    return soerr;
}

int connected(const Socket&) {
    return 0; // our sockets stay non-blocking; every call waits in select() first
}

int bind(const Socket& s, const Endpoint& local) {
    return ::bind(handle(s.fd()), reinterpret_cast<const sockaddr*>(&local.addr), local.len) != 0
               ? lastError()
               : 0;
}

int listen(const Socket& s, int backlog) {
    return ::listen(handle(s.fd()), backlog) != 0 ? lastError() : 0;
}

int endpoint(const Socket& s, bool peer, Endpoint& out) {
    out.len = sizeof out.addr;
    auto* a = reinterpret_cast<sockaddr*>(&out.addr);
    const int r = peer ? ::getpeername(handle(s.fd()), a, &out.len)
                       : ::getsockname(handle(s.fd()), a, &out.len);
    return r != 0 ? lastError() : 0;
}

int acceptOne(const Socket& listener, Socket& out, Endpoint& peer) {
    peer.len = sizeof peer.addr;
    // Accepted sockets take over the listener's properties: non-blocking, not inherited.
    const SOCKET s =
        ::accept(handle(listener.fd()), reinterpret_cast<sockaddr*>(&peer.addr), &peer.len);
    if (s == INVALID_SOCKET)
        return wouldBlock(lastError());
    out = Socket(number(s));
    return 0;
}

int sendSome(const Socket& s, const char* data, size_t len, size_t& sent) {
    const int n = ::send(handle(s.fd()), data, chunk(len), 0);
    if (n == SOCKET_ERROR)
        return wouldBlock(lastError());
    sent = static_cast<size_t>(n);
    return 0;
}

int receiveSome(const Socket& s, void* buf, size_t len, size_t& got) {
    const int n = ::recv(handle(s.fd()), static_cast<char*>(buf), chunk(len), 0);
    if (n == SOCKET_ERROR)
        return wouldBlock(lastError());
    got = static_cast<size_t>(n);
    return 0;
}

std::string otherErrorText(int) {
    return "";
}

} // namespace os

// pipe_[0] is the flag's UDP socket, bound to the loopback address; trigger() sends to it.
Canceller::Canceller() noexcept : pipe_{-1, -1} {
    if (!winsockUp())
        return;
    const SOCKET s = newSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::closesocket(s);
        return;
    }
    pipe_[0] = pipe_[1] = number(s);
}

Canceller::~Canceller() {
    if (pipe_[0] >= 0)
        ::closesocket(handle(pipe_[0]));
}

void Canceller::trigger() noexcept {
    if (pipe_[1] < 0)
        return;
    const char b = 1;
    // A full buffer means the flag is raised already.
    ::send(handle(pipe_[1]), &b, 1, 0);
}

void Canceller::clear() noexcept {
    if (pipe_[0] < 0)
        return;
    char buf[64];
    while (::recv(handle(pipe_[0]), buf, sizeof buf, 0) > 0) {
    }
}

bool Canceller::triggered() const noexcept {
    if (pipe_[0] < 0)
        return false;
    fd_set reads;
    FD_ZERO(&reads);
    FD_SET(handle(pipe_[0]), &reads);
    timeval now{};
    return ::select(0, &reads, nullptr, nullptr, &now) > 0;
}

void Socket::close() noexcept {
    if (fd_ >= 0) {
        ::closesocket(handle(fd_));
        fd_ = -1;
    }
}

bool peerGone(const Socket& s) {
    fd_set reads, failed;
    FD_ZERO(&reads);
    FD_ZERO(&failed);
    FD_SET(handle(s.fd()), &reads);
    FD_SET(handle(s.fd()), &failed);
    timeval now{};
    // Readable while idle means closed, reset, or something we did not ask for.
    return ::select(0, &reads, nullptr, &failed, &now) != 0;
}

} // namespace corvana::platform
