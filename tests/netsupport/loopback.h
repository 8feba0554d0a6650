#pragma once
// Plain socket helpers for the scripted servers. They use the system calls directly, never the
// client's seam, so a fault injected into the client cannot hit the server playing against it.

#include <cstdint>
#include <string>

namespace corvana::test {

// A listening socket on 127.0.0.1 with a port the system chooses; -1 on failure.
int listenLoopback(uint16_t& port);
// Connects to ip:port, optionally from the local address `from`; -1 on failure.
int connectTo(const std::string& ip, uint16_t port, const std::string& from = "");
// Waits up to `ms` for `fd` to become readable (or to end); false when the time ran out.
bool waitReadable(int fd, int ms);
bool sendAll(int fd, const std::string& bytes);
// Closes with a reset instead of an orderly end.
void closeWithReset(int fd);
// A free port on 127.0.0.1 at the moment of asking (nothing listens there).
uint16_t unusedPort();

} // namespace corvana::test
