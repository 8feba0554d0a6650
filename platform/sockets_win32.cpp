// TCP sockets on Winsock. Every socket of ours is non-blocking and every wait is a select()
// that also watches the cancellation flags: each flag is a UDP socket on the loopback address
// to which trigger() sends itself a byte, so a raised flag wakes a wait at once.
#include "platform/sockets.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace corvana::sock {
namespace {

// Winsock is started before anything here runs (the process-wide flag below needs it) and
// stays up until the process ends.
struct WinsockStart {
    WinsockStart() {
        WSADATA data;
        ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    bool ok = false;
} g_winsock;

sys::FaultHook& hook() {
    static sys::FaultHook h;
    return h;
}

ConnectHook& connectHook() {
    static ConnectHook h;
    return h;
}

int fault(const char* call) {
    return hook() ? hook()(call) : 0;
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

Canceller g_all;

enum class Want { Read, Write };

// Waits until one of `fds` is ready for `want` (a failed connect counts as ready), watching the
// flags too. 0 with `which` set (-1: the time ran out), or an error number (ECANCELED when a
// flag is raised).
int selectWith(std::initializer_list<int> fds, Want want, int timeoutMs, const Canceller* cancel,
               int& which) {
    which = -1;
    if (const int f = fault("poll"))
        return f;
    fd_set ready, failed, flags;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_ZERO(&flags);
    for (const int fd : fds) {
        FD_SET(handle(fd), &ready);
        FD_SET(handle(fd), &failed);
    }
    for (const Canceller* c : {static_cast<const Canceller*>(&g_all), cancel})
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
    for (const Canceller* c : {static_cast<const Canceller*>(&g_all), cancel})
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

int connectOne(const addrinfo& ai, const Canceller* cancel, Socket& out) {
    if (const int f = fault("socket"))
        return f;
    Socket s(number(newSocket(ai.ai_family, ai.ai_socktype, ai.ai_protocol)));
    if (!s.valid())
        return lastError();
    if (const int f = fault("connect"))
        return f;
    if (::connect(handle(s.fd()), ai.ai_addr, static_cast<int>(ai.ai_addrlen)) != 0) {
        if (lastError() != WSAEWOULDBLOCK)
            return lastError();
        int which = -1;
        if (const int err = selectWith({s.fd()}, Want::Write, -1, cancel, which))
            return err;
        int soerr = 0;
        int len = sizeof soerr;
        if (::getsockopt(handle(s.fd()), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soerr),
                         &len) != 0)
            return lastError();
        if (soerr)
            return soerr;
    }
    out = std::move(s);
    return 0;
}

} // namespace

std::string errorText(int err) {
    switch (err) {
    case WSAECONNREFUSED:
        return "Verbindung abgelehnt.";
    case WSAETIMEDOUT:
        return "Zeitüberschreitung bei Verbindung.";
    case WSAECONNRESET:
        return "Die Verbindung wurde von Peer zurückgesetzt.";
    case WSAECONNABORTED:
        return "Software verursachte Verbindungsabbruch.";
    case WSAENETRESET:
        return "Das Netzwerk hat die Verbindung beim Zurücksetzen getrennt.";
    case WSAENETUNREACH:
        return "Das Netzwerk ist nicht erreichbar.";
    case WSAENETDOWN:
        return "Das Netzwerk ist ausgefallen.";
    case WSAEHOSTUNREACH:
        return "Keine Route zum Host.";
    case WSAEHOSTDOWN:
        return "Der Host ist ausgefallen.";
    case WSAENOTCONN:
    case ENOTCONN:
        return "Der Socket ist nicht verbunden.";
    case WSAESHUTDOWN:
        return "Die Verbindung wurde unterbrochen.";
    case WSAEADDRINUSE:
        return "Die Adresse wird bereits verwendet.";
    case WSAEADDRNOTAVAIL:
        return "Die angeforderte Adresse ist nicht verfügbar.";
    case WSAEAFNOSUPPORT:
    case EAFNOSUPPORT:
        return "Die Adressfamilie wird nicht unterstützt.";
    case WSAEMFILE:
        return "Zu viele offene Sockets.";
    case WSAENOBUFS:
        return "Nicht genügend Pufferspeicher verfügbar.";
    case WSAEACCES:
        return "Zugriff verweigert.";
    case WSANOTINITIALISED:
        return "Windows Sockets wurde nicht gestartet.";
    case ECANCELED:
        return "Der Vorgang wurde abgebrochen.";
    case WSAHOST_NOT_FOUND:
    case WSANO_RECOVERY:
    case WSANO_DATA:
        return "Host nicht gefunden.";
    case WSATRY_AGAIN:
        return "Der Hostname konnte vorübergehend nicht aufgelöst werden.";
    default:
        return "";
    }
}

void setFaultHook(sys::FaultHook h) {
    hook() = std::move(h);
}

void setConnectHook(ConnectHook h) {
    connectHook() = std::move(h);
}

// pipe_[0] is the flag's UDP socket, bound to the loopback address; trigger() sends to it.
Canceller::Canceller() noexcept : pipe_{-1, -1} {
    if (!g_winsock.ok)
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

void cancelAll() noexcept {
    g_all.trigger();
}
void clearCancelAll() noexcept {
    g_all.clear();
}

std::string Endpoint::ip() const {
    char buf[INET6_ADDRSTRLEN] = {};
    if (family() == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
    } else if (family() == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
    }
    return buf;
}

uint16_t Endpoint::port() const {
    if (family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
    if (family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_port);
    return 0;
}

bool Endpoint::sameHost(const Endpoint& o) const {
    if (family() != o.family())
        return false;
    if (family() == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(&o.addr)->sin_addr.s_addr;
    if (family() == AF_INET6)
        return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr,
                           &reinterpret_cast<const sockaddr_in6*>(&o.addr)->sin6_addr,
                           sizeof(in6_addr)) == 0;
    return false;
}

Socket& Socket::operator=(Socket&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

void Socket::close() noexcept {
    if (fd_ >= 0) {
        ::closesocket(handle(fd_));
        fd_ = -1;
    }
}

int connectTcp(const std::string& host, uint16_t port, bool ipv4Only, const Canceller* cancel,
               Socket& out) {
    if (connectHook())
        return connectHook()(host, port, out);
    if (!g_winsock.ok)
        return WSANOTINITIALISED;
    if (const int f = fault("getaddrinfo"))
        return f;
    addrinfo hints{};
    hints.ai_family = ipv4Only ? AF_INET : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    // The lookup itself cannot be cancelled; the platform's resolver time-out bounds it.
    if (const int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list))
        return r;
    int err = WSAEHOSTUNREACH;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        err = connectOne(*ai, cancel, out);
        if (err == 0 || err == ECANCELED)
            break;
    }
    ::freeaddrinfo(list);
    return err;
}

int listenTcp(const Endpoint& local, int backlog, Socket& out) {
    if (const int f = fault("socket"))
        return f;
    Socket s(number(newSocket(local.family(), SOCK_STREAM, 0)));
    if (!s.valid())
        return lastError();
    Endpoint any = local;
    if (any.family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&any.addr)->sin_port = 0;
    else if (any.family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&any.addr)->sin6_port = 0;
    if (const int f = fault("bind"))
        return f;
    if (::bind(handle(s.fd()), reinterpret_cast<const sockaddr*>(&any.addr), any.len) != 0)
        return lastError();
    if (const int f = fault("listen"))
        return f;
    if (::listen(handle(s.fd()), backlog) != 0)
        return lastError();
    out = std::move(s);
    return 0;
}

int localEndpoint(const Socket& s, Endpoint& out) {
    out.len = sizeof out.addr;
    return ::getsockname(handle(s.fd()), reinterpret_cast<sockaddr*>(&out.addr), &out.len) != 0
               ? lastError()
               : 0;
}

int peerEndpoint(const Socket& s, Endpoint& out) {
    out.len = sizeof out.addr;
    return ::getpeername(handle(s.fd()), reinterpret_cast<sockaddr*>(&out.addr), &out.len) != 0
               ? lastError()
               : 0;
}

int waitReadable(std::initializer_list<int> fds, int timeoutMs, const Canceller* cancel,
                 int& which) {
    return selectWith(fds, Want::Read, timeoutMs, cancel, which);
}

int accept(const Socket& listener, Socket& out, Endpoint& peer) {
    if (const int f = fault("accept"))
        return f;
    peer.len = sizeof peer.addr;
    // Accepted sockets take over the listener's properties: non-blocking, not inherited.
    const SOCKET s =
        ::accept(handle(listener.fd()), reinterpret_cast<sockaddr*>(&peer.addr), &peer.len);
    if (s == INVALID_SOCKET)
        return lastError() == WSAEWOULDBLOCK ? EAGAIN : lastError();
    out = Socket(number(s));
    return 0;
}

int sendAll(const Socket& s, const void* data, size_t len, const Canceller* cancel) {
    const auto* p = static_cast<const char*>(data);
    while (len > 0) {
        // Wait for room first, so a peer that stops reading cannot hold us beyond a cancel.
        int which = -1;
        if (const int err = selectWith({s.fd()}, Want::Write, -1, cancel, which))
            return err;
        if (const int f = fault("send"))
            return f;
        const int chunk = static_cast<int>(len > (1u << 30) ? (1u << 30) : len);
        const int n = ::send(handle(s.fd()), p, chunk, 0);
        if (n == SOCKET_ERROR) {
            if (lastError() == WSAEWOULDBLOCK)
                continue;
            return lastError();
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
    return 0;
}

int receive(const Socket& s, void* buf, size_t len, size_t& got, const Canceller* cancel,
            int timeoutMs) {
    got = 0;
    for (;;) {
        int which = -1;
        if (const int err = selectWith({s.fd()}, Want::Read, timeoutMs, cancel, which))
            return err;
        if (which < 0)
            return kTimedOut;
        if (const int f = fault("recv"))
            return f;
        const int chunk = static_cast<int>(len > (1u << 30) ? (1u << 30) : len);
        const int n = ::recv(handle(s.fd()), static_cast<char*>(buf), chunk, 0);
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return 0;
        }
        if (lastError() != WSAEWOULDBLOCK)
            return lastError();
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

} // namespace corvana::sock
