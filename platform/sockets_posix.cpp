#include "platform/sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace corvana::sock {
namespace {

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

template <typename F> auto retry(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r < 0 && errno == EINTR);
    return r;
}

// Constructed before main, so the termination path never has to create it.
Canceller g_all;

// Polls `fds` for `events` together with the cancellation flags. Returns 0 with `which` set
// (-1: time ran out), or an error number (ECANCELED when a flag is raised).
int pollWith(std::initializer_list<int> fds, short events, int timeoutMs, const Canceller* cancel,
             int& which) {
    which = -1;
    std::vector<pollfd> p;
    p.reserve(fds.size() + 2);
    for (int fd : fds)
        p.push_back({fd, events, 0});
    const size_t flags = p.size();
    p.push_back({g_all.fd(), POLLIN, 0});
    if (cancel)
        p.push_back({cancel->fd(), POLLIN, 0});
    if (const int f = fault("poll"))
        return f;
    const int r = sys::poll(p.data(), p.size(), timeoutMs);
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

int setBlocking(int fd, bool blocking) {
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0)
        return errno;
    const int want = blocking ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, want) < 0 ? errno : 0;
}

int connectOne(const addrinfo& ai, const Canceller* cancel, Socket& out) {
    if (const int f = fault("socket"))
        return f;
    Socket s(::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol));
    if (!s.valid())
        return errno;
    // Non-blocking only for the connect, so that waiting for it can be cancelled.
    if (const int f = fault("connect"))
        return f;
    if (::connect(s.fd(), ai.ai_addr, ai.ai_addrlen) < 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return errno;
        int which = -1;
        if (const int err = pollWith({s.fd()}, POLLOUT, -1, cancel, which))
            return err;
        int soerr = 0;
        socklen_t len = sizeof soerr;
        if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &soerr, &len) < 0)
            return errno;
        if (soerr)
            return soerr;
    }
    if (const int err = setBlocking(s.fd(), true))
        return err;
    out = std::move(s);
    return 0;
}

} // namespace

std::string errorText(int err) {
    switch (err) {
    case ECONNREFUSED:
        return "Verbindung abgelehnt.";
    case ETIMEDOUT:
        return "Zeitüberschreitung bei Verbindung.";
    case ECONNRESET:
        return "Die Verbindung wurde von Peer zurückgesetzt.";
    case ECONNABORTED:
        return "Software verursachte Verbindungsabbruch.";
    case ENETRESET:
        return "Das Netzwerk hat die Verbindung beim Zurücksetzen getrennt.";
    case ENETUNREACH:
        return "Das Netzwerk ist nicht erreichbar.";
    case ENETDOWN:
        return "Das Netzwerk ist ausgefallen.";
    case EHOSTUNREACH:
        return "Keine Route zum Host.";
    case EHOSTDOWN:
        return "Der Host ist ausgefallen.";
    case ENOTCONN:
        return "Der Socket ist nicht verbunden.";
    case EPIPE:
        return "Die Verbindung wurde unterbrochen.";
    case EADDRINUSE:
        return "Die Adresse wird bereits verwendet.";
    case EADDRNOTAVAIL:
        return "Die angeforderte Adresse ist nicht verfügbar.";
    case EAFNOSUPPORT:
        return "Die Adressfamilie wird nicht unterstützt.";
    case EMFILE:
    case ENFILE:
        return "Zu viele offene Sockets.";
    case ENOBUFS:
    case ENOMEM:
        return "Nicht genügend Pufferspeicher verfügbar.";
    case ECANCELED:
        return "Der Vorgang wurde abgebrochen.";
    case EAI_NONAME:
    case EAI_FAIL:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return "Host nicht gefunden.";
    case EAI_AGAIN:
        return "Der Hostname konnte vorübergehend nicht aufgelöst werden.";
    case EAI_MEMORY:
        return "Nicht genügend Speicher.";
    default:
        break;
    }
    if (err <= 0)
        return "";
    // Other platform numbers only when the shared table knows them; otherwise the second
    // line of the socket error stays empty.
    std::string text = sys::errorText(err);
    return text.rfind("Systemfehler:", 0) == 0 ? std::string() : text;
}

void setFaultHook(sys::FaultHook h) {
    hook() = std::move(h);
}

void setConnectHook(ConnectHook h) {
    connectHook() = std::move(h);
}

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
        ::close(fd_);
        fd_ = -1;
    }
}

int connectTcp(const std::string& host, uint16_t port, bool ipv4Only, const Canceller* cancel,
               Socket& out) {
    if (connectHook())
        return connectHook()(host, port, out);
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
    int r;
    do {
        r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    } while (r == EAI_SYSTEM && errno == EINTR);
    if (r == EAI_SYSTEM)
        return errno;
    if (r != 0)
        return r;
    int err = EHOSTUNREACH;
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
    Socket s(::socket(local.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.valid())
        return errno;
    Endpoint any = local;
    if (any.family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&any.addr)->sin_port = 0;
    else if (any.family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&any.addr)->sin6_port = 0;
    if (const int f = fault("bind"))
        return f;
    if (::bind(s.fd(), reinterpret_cast<const sockaddr*>(&any.addr), any.len) < 0)
        return errno;
    if (const int f = fault("listen"))
        return f;
    if (::listen(s.fd(), backlog) < 0)
        return errno;
    out = std::move(s);
    return 0;
}

int localEndpoint(const Socket& s, Endpoint& out) {
    out.len = sizeof out.addr;
    return ::getsockname(s.fd(), reinterpret_cast<sockaddr*>(&out.addr), &out.len) < 0 ? errno : 0;
}

int peerEndpoint(const Socket& s, Endpoint& out) {
    out.len = sizeof out.addr;
    return ::getpeername(s.fd(), reinterpret_cast<sockaddr*>(&out.addr), &out.len) < 0 ? errno : 0;
}

int waitReadable(std::initializer_list<int> fds, int timeoutMs, const Canceller* cancel,
                 int& which) {
    return pollWith(fds, POLLIN, timeoutMs, cancel, which);
}

int accept(const Socket& listener, Socket& out, Endpoint& peer) {
    if (const int f = fault("accept"))
        return f;
    peer.len = sizeof peer.addr;
    const int fd = retry([&] {
        return ::accept4(listener.fd(), reinterpret_cast<sockaddr*>(&peer.addr), &peer.len,
                         SOCK_CLOEXEC);
    });
    if (fd < 0)
        return errno == EWOULDBLOCK ? EAGAIN : errno;
    out = Socket(fd);
    return 0;
}

int sendAll(const Socket& s, const void* data, size_t len, const Canceller* cancel) {
    const auto* p = static_cast<const char*>(data);
    while (len > 0) {
        // Wait for room first, so a peer that stops reading cannot hold us beyond a cancel.
        int which = -1;
        if (const int err = pollWith({s.fd()}, POLLOUT, -1, cancel, which))
            return err;
        if (const int f = fault("send"))
            return f;
        const ssize_t n =
            retry([&] { return ::send(s.fd(), p, len, MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return errno;
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
        if (const int err = pollWith({s.fd()}, POLLIN, timeoutMs, cancel, which))
            return err;
        if (which < 0)
            return kTimedOut;
        if (const int f = fault("recv"))
            return f;
        const ssize_t n = retry([&] { return ::recv(s.fd(), buf, len, MSG_DONTWAIT); });
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return 0;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
    }
}

bool peerGone(const Socket& s) {
    pollfd p{s.fd(), POLLIN, 0};
    const int r = retry([&] { return ::poll(&p, 1, 0); });
    // Readable while idle means closed, reset, or something we did not ask for: in each
    // case the connection cannot carry the next exchange.
    return r != 0;
}

} // namespace corvana::sock
