// The helpers on Winsock. The wake-up is a connected pair of loopback sockets, since WSAPoll
// watches sockets only.
#include "tests/netsupport/loopback.h"

#include <windows.h>

namespace corvana::test {
namespace {

// Once per process, before the first socket; never cleaned up, as other users may remain.
bool winsockStarted() {
    static const bool ok = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

sockaddr_in address(const std::string& ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

// Not inherited by the processes a test starts, as SOCK_CLOEXEC on POSIX.
SocketFd newSocket() {
    if (!winsockStarted())
        return kNoSocket;
    return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

} // namespace

SocketFd listenLoopback(uint16_t& port) {
    const SocketFd s = newSocket();
    if (s == kNoSocket)
        return kNoSocket;
    sockaddr_in a = address("127.0.0.1", 0);
    int len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    port = ntohs(a.sin_port);
    return s;
}

SocketFd acceptOn(SocketFd listener) {
    return ::accept(listener, nullptr, nullptr);
}

SocketFd connectTo(const std::string& ip, uint16_t port, const std::string& from) {
    const SocketFd s = newSocket();
    if (s == kNoSocket)
        return kNoSocket;
    if (!from.empty()) {
        sockaddr_in l = address(from, 0);
        if (::bind(s, reinterpret_cast<sockaddr*>(&l), sizeof l) != 0) {
            ::closesocket(s);
            return kNoSocket;
        }
    }
    sockaddr_in a = address(ip, port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    return s;
}

void closeSocket(SocketFd fd) {
    if (fd != kNoSocket)
        ::closesocket(fd);
}

void closeWithReset(SocketFd fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    ::closesocket(fd);
}

int waitAny(std::vector<Watched>& set, int ms) {
    std::vector<WSAPOLLFD> p;
    for (const auto& w : set)
        p.push_back({w.fd, POLLRDNORM, 0});
    const int r = ::WSAPoll(p.data(), static_cast<ULONG>(p.size()), ms);
    for (size_t i = 0; i < set.size(); ++i)
        set[i].ready = r > 0 && p[i].revents != 0;
    return r == SOCKET_ERROR ? -1 : r;
}

bool sendAll(SocketFd fd, const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        const size_t left = bytes.size() - off;
        const int n =
            ::send(fd, bytes.data() + off, static_cast<int>(left > 65536 ? 65536 : left), 0);
        if (n <= 0)
            return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

long receiveSome(SocketFd fd, char* buf, size_t len) {
    const int n = ::recv(fd, buf, static_cast<int>(len > 65536 ? 65536 : len), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

uint16_t unusedPort() {
    uint16_t port = 0;
    closeSocket(listenLoopback(port));
    return port;
}

Wakeup::Wakeup() {
    uint16_t port = 0;
    const SocketFd listener = listenLoopback(port);
    if (listener == kNoSocket)
        return;
    write_ = connectTo("127.0.0.1", port);
    if (write_ != kNoSocket)
        read_ = acceptOn(listener);
    ::closesocket(listener);
}

Wakeup::~Wakeup() {
    closeSocket(read_);
    closeSocket(write_);
}

void Wakeup::signal() {
    if (write_ != kNoSocket)
        ::send(write_, "x", 1, 0);
}

// Wine's GetProcessHandleCount always says 0. Its list of the system's handles is true, but
// asking for it while other processes come and go crashes wine 8's server; the process's own
// handle values are probed instead. They are multiples of four, handed out lowest first, so
// a long run of unused values means the table has ended.
int openHandles() {
    DWORD n = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &n) && n > 0)
        return static_cast<int>(n);
    int open = 0;
    for (uintptr_t value = 4, unused = 0; unused < 1024; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++open;
            unused = 0;
        } else {
            ++unused;
        }
    }
    return open;
}

} // namespace corvana::test
