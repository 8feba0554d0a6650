#pragma once
// Plain socket helpers for the scripted servers. They use the system calls directly, never the
// client's seam, so a fault injected into the client cannot hit the server playing against it.
// Everything that differs between Berkeley sockets and Winsock stays behind these helpers.

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <netdb.h>
#endif

namespace corvana::test {

#ifdef _WIN32
using SocketFd = SOCKET;
inline constexpr SocketFd kNoSocket = INVALID_SOCKET;
// The numbers the client reports for the failures the tests provoke: Winsock's.
inline constexpr int kConnRefused = WSAECONNREFUSED;
inline constexpr int kConnReset = WSAECONNRESET;
#else
using SocketFd = int;
inline constexpr SocketFd kNoSocket = -1;
inline constexpr int kConnRefused = ECONNREFUSED;
inline constexpr int kConnReset = ECONNRESET;
#endif
// What a fault hook returns for a failed name lookup (the resolver's code).
inline constexpr int kHostNotFound = EAI_NONAME;

// A listening socket on 127.0.0.1 with a port the system chooses; kNoSocket on failure.
SocketFd listenLoopback(uint16_t& port);
// Takes the next connection of `listener`, waiting for it; kNoSocket on failure.
SocketFd acceptOn(SocketFd listener);
// Connects to ip:port, optionally from the local address `from`; kNoSocket on failure.
SocketFd connectTo(const std::string& ip, uint16_t port, const std::string& from = "");
// Whether something accepts on ip:port (the probe connection is closed again).
bool canConnect(const std::string& ip, uint16_t port);
void closeSocket(SocketFd fd);
// Closes with a reset instead of an orderly end.
void closeWithReset(SocketFd fd);

// Waits up to `ms` for `fd` to become readable (or to end); false when the time ran out.
// On POSIX any descriptor will do, on Windows sockets only.
bool waitReadable(SocketFd fd, int ms);
struct Watched {
    SocketFd fd;
    bool ready = false; // readable, at its end, or failed
};
// Waits up to `ms` (< 0: without limit) until one of `set` is ready and marks those; the
// number ready, 0 when the time ran out, < 0 on failure. Interrupted waits are resumed.
int waitAny(std::vector<Watched>& set, int ms = -1);

bool sendAll(SocketFd fd, const std::string& bytes);
// Receives what is there, up to `len`: the count, 0 at the end, < 0 on failure.
long receiveSome(SocketFd fd, char* buf, size_t len);

// A free port on 127.0.0.1 at the moment of asking (nothing listens there).
uint16_t unusedPort();

// Wakes a server thread blocked in waitAny(): its fd() turns readable once signal() is called.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    SocketFd fd() const { return read_; }
    void signal();

private:
    SocketFd read_ = kNoSocket;
    SocketFd write_ = kNoSocket;
};

// The descriptors (on Windows: handles) the process holds open, for checks that an operation
// leaves none behind.
int openHandles();

} // namespace corvana::test
