#pragma once
// TCP sockets for the network clients. The sockets are blocking, but every wait goes through
// poll() together with the cancellation flags, so that a client blocked on a silent server can
// still be stopped from a signal handler or another thread. EINTR is retried and faults are
// injected by the system-call seam (sysio.h), as for files.

#include "platform/sysio.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

// The platform's socket headers, Berkeley's or Winsock's, for the address types below and the
// few address calls the clients make themselves (inet_pton, ntohl). On Windows a socket's
// number is its SOCKET handle, which fits in 32 bits as every kernel handle does.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace corvana::platform {

// Error numbers are the platform's: on POSIX errno values, except name lookup failures, which
// are the resolver's own codes (EAI_*, negative on glibc), so "host not found" keeps a number
// of its own; on Windows the WSA numbers (10061, 11001, ...). Either way a cancelled wait is
// ECANCELED and an accept with nothing pending EAGAIN.
// The German description of such a number; "" for a number without one.
std::string socketErrorText(int err);

// Returned by waits with a time limit when the limit ran out; never a platform number.
inline constexpr int kTimedOut = 1 << 24;

// The socket calls consult platform::setFaultHook's hook too, by the names "getaddrinfo" (which
// then fails with an EAI_* code), "socket", "connect", "bind", "listen", "accept", "send",
// "recv" and "poll".

class Socket;
// While set, connectTcp asks it instead of resolving and connecting: it returns 0 with `out`
// connected (a fuzzer or a test hands over one end of a socket pair) or an error number.
using ConnectHook = std::function<int(const std::string& host, uint16_t port, Socket& out)>;
void setConnectHook(ConnectHook hook);

// A flag that every wait watches. trigger() is async-signal-safe and may be called from any
// thread; while the flag is raised, waits fail with ECANCELED. It stays raised until clear().
class Canceller {
public:
    Canceller() noexcept;
    ~Canceller();
    Canceller(const Canceller&) = delete;
    Canceller& operator=(const Canceller&) = delete;

    void trigger() noexcept;
    void clear() noexcept;
    bool triggered() const noexcept;
    int fd() const noexcept { return pipe_[0]; }

private:
    int pipe_[2];
};

// The process-wide flag, watched by every wait besides the caller's own: raised by the
// termination path so the tool can close while a network operation blocks.
void cancelAll() noexcept;
void clearCancelAll() noexcept;

// An address with its port.
struct Endpoint {
    sockaddr_storage addr{};
    socklen_t len = 0;

    int family() const { return addr.ss_family; }
    std::string ip() const; // numeric form, IPv6 without brackets
    uint16_t port() const;
    bool sameHost(const Endpoint& other) const;
};

// Owns one socket descriptor.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { close(); }
    Socket(Socket&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Socket& operator=(Socket&& o) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close() noexcept;

private:
    int fd_ = -1;
};

// All of the following return 0 on success or an error number. `cancel` may be null; the
// process-wide flag is always watched. A time limit < 0 waits without limit.

// Resolves `host` (a numeric address or a name; IPv4 only when `ipv4Only`) and connects to the
// first address that accepts. The connect time-out is the platform's.
int connectTcp(const std::string& host, uint16_t port, bool ipv4Only, const Canceller* cancel,
               Socket& out);

// Listens on `local`'s address, on a port the platform chooses.
int listenTcp(const Endpoint& local, int backlog, Socket& out);

int localEndpoint(const Socket& s, Endpoint& out);
int peerEndpoint(const Socket& s, Endpoint& out);

// Waits until one of `fds` is readable (or at end of stream, or failed); `which` is its index,
// or -1 when `timeoutMs` ran out (the result is then 0).
int waitReadable(std::initializer_list<int> fds, int timeoutMs, const Canceller* cancel,
                 int& which);

// Takes a pending connection of a listening socket; EAGAIN when none is pending.
int accept(const Socket& listener, Socket& out, Endpoint& peer);

// Sends all of `data`.
int sendAll(const Socket& s, const void* data, size_t len, const Canceller* cancel);

// Receives up to `len` bytes, waiting for the first; `got` == 0 means the peer closed.
// kTimedOut when `timeoutMs` ran out first.
int receive(const Socket& s, void* buf, size_t len, size_t& got, const Canceller* cancel,
            int timeoutMs = -1);

// True when the peer has closed or reset an idle connection (nothing is consumed).
bool peerGone(const Socket& s);

} // namespace corvana::platform
