// The socket helpers that need nothing of the system beyond the others.
#include "tests/netsupport/loopback.h"

namespace corvana::test {

bool canConnect(const std::string& ip, uint16_t port) {
    const SocketFd fd = connectTo(ip, port);
    if (fd == kNoSocket)
        return false;
    closeSocket(fd);
    return true;
}

bool waitReadable(SocketFd fd, int ms) {
    std::vector<Watched> one{{fd}};
    return waitAny(one, ms) > 0;
}

} // namespace corvana::test
