// The OS-neutral part of the sockets: the flows and the hooks, on the calls of sockets_os.h.
#include "platform/sockets.h"

#include "platform/sockets_os.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace corvana::platform {
namespace {

// Constructed before main, so the termination path never has to create it.
Canceller g_all;

ConnectHook& connectHook() {
    static ConnectHook h;
    return h;
}

int fault(const char* call) {
    return platform::injectedFault(call);
}

int waitFor(const Socket& s, os::Want want, int timeoutMs, const Canceller* cancel, int& which) {
    if (const int f = fault("poll"))
        return f;
    return os::wait({s.fd()}, want, timeoutMs, cancel, which);
}

int connectOne(const addrinfo& ai, const Canceller* cancel, Socket& out) {
    if (const int f = fault("socket"))
        return f;
    Socket s;
    if (const int err = os::openSocket(ai.ai_family, ai.ai_socktype, ai.ai_protocol, s))
        return err;
    // Non-blocking for the connect, so that waiting for it can be cancelled.
    if (const int f = fault("connect"))
        return f;
    const int started = os::startConnect(s, ai.ai_addr, ai.ai_addrlen);
    if (started == os::kWouldBlock) {
        int which = -1;
        if (const int err = waitFor(s, os::Want::Write, -1, cancel, which))
            return err;
        if (const int err = os::connectResult(s))
            return err;
    } else if (started) {
        return started;
    }
    if (const int err = os::connected(s))
        return err;
    out = std::move(s);
    return 0;
}

// The descriptions, the same on every platform, by the platform's numbers (a number with no
// counterpart on the other platform stands as kNone there).
struct Description {
    int err;
    const char* text;
};
constexpr int kNone = INT_MIN;
#ifdef _WIN32
#define CORVANA_SOCKET_ERROR(posix, windows) windows
#else
#define CORVANA_SOCKET_ERROR(posix, windows) posix
#ifdef EAI_NODATA
constexpr int kEaiNoData = EAI_NODATA;
#else
constexpr int kEaiNoData = kNone;
#endif
#ifdef EAI_ADDRFAMILY
constexpr int kEaiAddrFamily = EAI_ADDRFAMILY;
#else
constexpr int kEaiAddrFamily = kNone;
#endif
#endif
const Description kDescriptions[] = {
    {CORVANA_SOCKET_ERROR(ECONNREFUSED, WSAECONNREFUSED), "Verbindung abgelehnt."},
    {CORVANA_SOCKET_ERROR(ETIMEDOUT, WSAETIMEDOUT), "Zeitüberschreitung bei Verbindung."},
    {CORVANA_SOCKET_ERROR(ECONNRESET, WSAECONNRESET),
     "Die Verbindung wurde von Peer zurückgesetzt."},
    {CORVANA_SOCKET_ERROR(ECONNABORTED, WSAECONNABORTED),
     "Software verursachte Verbindungsabbruch."},
    {CORVANA_SOCKET_ERROR(ENETRESET, WSAENETRESET),
     "Das Netzwerk hat die Verbindung beim Zurücksetzen getrennt."},
    {CORVANA_SOCKET_ERROR(ENETUNREACH, WSAENETUNREACH), "Das Netzwerk ist nicht erreichbar."},
    {CORVANA_SOCKET_ERROR(ENETDOWN, WSAENETDOWN), "Das Netzwerk ist ausgefallen."},
    {CORVANA_SOCKET_ERROR(EHOSTUNREACH, WSAEHOSTUNREACH), "Keine Route zum Host."},
    {CORVANA_SOCKET_ERROR(EHOSTDOWN, WSAEHOSTDOWN), "Der Host ist ausgefallen."},
    {CORVANA_SOCKET_ERROR(ENOTCONN, WSAENOTCONN), "Der Socket ist nicht verbunden."},
    {CORVANA_SOCKET_ERROR(kNone, ENOTCONN), "Der Socket ist nicht verbunden."},
    {CORVANA_SOCKET_ERROR(EPIPE, WSAESHUTDOWN), "Die Verbindung wurde unterbrochen."},
    {CORVANA_SOCKET_ERROR(EADDRINUSE, WSAEADDRINUSE), "Die Adresse wird bereits verwendet."},
    {CORVANA_SOCKET_ERROR(EADDRNOTAVAIL, WSAEADDRNOTAVAIL),
     "Die angeforderte Adresse ist nicht verfügbar."},
    {CORVANA_SOCKET_ERROR(EAFNOSUPPORT, WSAEAFNOSUPPORT),
     "Die Adressfamilie wird nicht unterstützt."},
    {CORVANA_SOCKET_ERROR(kNone, EAFNOSUPPORT), "Die Adressfamilie wird nicht unterstützt."},
    {CORVANA_SOCKET_ERROR(EMFILE, WSAEMFILE), "Zu viele offene Sockets."},
    {CORVANA_SOCKET_ERROR(ENFILE, kNone), "Zu viele offene Sockets."},
    {CORVANA_SOCKET_ERROR(ENOBUFS, WSAENOBUFS), "Nicht genügend Pufferspeicher verfügbar."},
    {CORVANA_SOCKET_ERROR(ENOMEM, kNone), "Nicht genügend Pufferspeicher verfügbar."},
    {CORVANA_SOCKET_ERROR(kNone, WSAEACCES), "Zugriff verweigert."},
    {CORVANA_SOCKET_ERROR(kNone, WSANOTINITIALISED), "Windows Sockets wurde nicht gestartet."},
    {CORVANA_SOCKET_ERROR(ECANCELED, ECANCELED), "Der Vorgang wurde abgebrochen."},
    {CORVANA_SOCKET_ERROR(EAI_NONAME, WSAHOST_NOT_FOUND), "Host nicht gefunden."},
    {CORVANA_SOCKET_ERROR(EAI_FAIL, WSANO_RECOVERY), "Host nicht gefunden."},
    {CORVANA_SOCKET_ERROR(kEaiNoData, WSANO_DATA), "Host nicht gefunden."},
    {CORVANA_SOCKET_ERROR(kEaiAddrFamily, kNone), "Host nicht gefunden."},
    {CORVANA_SOCKET_ERROR(EAI_AGAIN, WSATRY_AGAIN),
     "Der Hostname konnte vorübergehend nicht aufgelöst werden."},
    {CORVANA_SOCKET_ERROR(EAI_MEMORY, kNone), "Nicht genügend Speicher."},
};
#undef CORVANA_SOCKET_ERROR

} // namespace

Canceller& os::everyWait() {
    return g_all;
}

std::string socketErrorText(int err) {
    for (const Description& d : kDescriptions)
        if (d.err == err)
            return d.text;
    return os::otherErrorText(err);
}

void setConnectHook(ConnectHook h) {
    connectHook() = std::move(h);
}

void cancelAll() noexcept {
    os::everyWait().trigger();
}

void clearCancelAll() noexcept {
    os::everyWait().clear();
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
    // The lookup itself cannot be cancelled; the platform's resolver time-out bounds it.
    if (const int r = os::resolve(host, std::to_string(port), hints, list))
        return r;
    int err = os::hostUnreachable();
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
    Socket s;
    if (const int err = os::openSocket(local.family(), SOCK_STREAM, 0, s))
        return err;
    Endpoint any = local;
    if (any.family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&any.addr)->sin_port = 0;
    else if (any.family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&any.addr)->sin6_port = 0;
    if (const int f = fault("bind"))
        return f;
    if (const int err = os::bind(s, any))
        return err;
    if (const int f = fault("listen"))
        return f;
    if (const int err = os::listen(s, backlog))
        return err;
    out = std::move(s);
    return 0;
}

int localEndpoint(const Socket& s, Endpoint& out) {
    return os::endpoint(s, false, out);
}

int peerEndpoint(const Socket& s, Endpoint& out) {
    return os::endpoint(s, true, out);
}

int waitReadable(std::initializer_list<int> fds, int timeoutMs, const Canceller* cancel,
                 int& which) {
    if (const int f = fault("poll"))
        return f;
    return os::wait(fds, os::Want::Read, timeoutMs, cancel, which);
}

int accept(const Socket& listener, Socket& out, Endpoint& peer) {
    if (const int f = fault("accept"))
        return f;
    const int err = os::acceptOne(listener, out, peer);
    return err == os::kWouldBlock ? EAGAIN : err;
}

int sendAll(const Socket& s, const void* data, size_t len, const Canceller* cancel) {
    const auto* p = static_cast<const char*>(data);
    while (len > 0) {
        // Wait for room first, so a peer that stops reading cannot hold us beyond a cancel.
        int which = -1;
        if (const int err = waitFor(s, os::Want::Write, -1, cancel, which))
            return err;
        if (const int f = fault("send"))
            return f;
        size_t n = 0;
        const int err = os::sendSome(s, p, len, n);
        if (err == os::kWouldBlock)
            continue;
        if (err)
            return err;
        p += n;
        len -= n;
    }
    return 0;
}

int receive(const Socket& s, void* buf, size_t len, size_t& got, const Canceller* cancel,
            int timeoutMs) {
    got = 0;
    for (;;) {
        int which = -1;
        if (const int err = waitFor(s, os::Want::Read, timeoutMs, cancel, which))
            return err;
        if (which < 0)
            return kTimedOut;
        if (const int f = fault("recv"))
            return f;
        const int err = os::receiveSome(s, buf, len, got);
        if (err != os::kWouldBlock)
            return err;
    }
}

} // namespace corvana::platform
