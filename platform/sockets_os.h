#pragma once
// What each OS gives the socket code (sockets_posix.cpp, sockets_win32.cpp): the system calls
// and nothing more. The flows built on them (connect, listen, send, receive, the waits with
// their cancellation flags) and the fault hook are in sockets.cpp, once for both.

#include "platform/sockets.h"

#include <initializer_list>
#include <string>

#ifndef _WIN32
#include <netdb.h>
#endif

namespace corvana::platform::os {

// Returned by the calls below where the call would have to wait; never a platform number.
inline constexpr int kWouldBlock = 1 << 25;

enum class Want { Read, Write };

// The process-wide flag, watched by every wait besides the caller's own.
Canceller& everyWait();

// Waits until one of `fds` is ready for `want` (a failed socket counts as ready) or a flag is
// raised: 0 with `which` set (-1: `timeoutMs` ran out), ECANCELED, or an error number.
int wait(std::initializer_list<int> fds, Want want, int timeoutMs, const Canceller* cancel,
         int& which);

// getaddrinfo(); 0 or an error number (the resolver's own codes for a failed lookup).
int resolve(const std::string& host, const std::string& service, const addrinfo& hints,
            addrinfo*& list);
// The error number for "no address accepted" when there was none to try.
int hostUnreachable();

// A new non-blocking socket that child processes do not inherit.
int openSocket(int family, int type, int protocol, Socket& out);
// Starts connecting: 0 when connected, kWouldBlock while under way, or an error number.
int startConnect(const Socket& s, const sockaddr* addr, size_t len);
// The outcome of a connect that was under way, once the socket is writable.
int connectResult(const Socket& s);
// After the connect, the socket as the callers use it (blocking on POSIX).
int connected(const Socket& s);

int bind(const Socket& s, const Endpoint& local);
int listen(const Socket& s, int backlog);
int endpoint(const Socket& s, bool peer, Endpoint& out);
// 0, kWouldBlock when nothing is pending, or an error number.
int acceptOne(const Socket& listener, Socket& out, Endpoint& peer);
// Send and receive without waiting: 0 with the count, kWouldBlock, or an error number.
int sendSome(const Socket& s, const char* data, size_t len, size_t& sent);
int receiveSome(const Socket& s, void* buf, size_t len, size_t& got);

// The description of a socket error number the shared table does not hold; "" for none.
std::string otherErrorText(int err);

} // namespace corvana::platform::os
