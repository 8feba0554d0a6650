#pragma once
// The far end of a client's connection, played from a fuzz input: the client's connect is
// handed one end of a local packet socket pair, and the input's bytes wait at the other end,
// written in pieces so that each of the client's receives takes exactly one piece. The first
// input byte chooses the cut: 0 pieces of 16384 bytes, n pieces of n bytes (after 96 pieces
// the rest goes in pieces of 16384, so a long input fits the socket's buffer). After the
// script the peer closes its sending side; what the client sends is left unread.
#include "platform/sockets.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace corvana::fuzz {

inline constexpr size_t kMaxPiece = 16384;

class ScriptedPeer {
public:
    // Serves `script` at the first connect, an empty stream at any later one.
    ScriptedPeer(const uint8_t* data, size_t size) {
        if (size > 0) {
            cut_ = data[0];
            script_.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
        }
        platform::setConnectHook(
            [this](const std::string&, uint16_t, platform::Socket& out) { return connect(out); });
    }
    ~ScriptedPeer() {
        platform::setConnectHook(nullptr);
        for (int fd : peers_)
            ::close(fd);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    int connects() const { return static_cast<int>(peers_.size()); }
    const std::string& script() const { return script_; }

private:
    int connect(platform::Socket& out) {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) < 0)
            return errno;
        peers_.push_back(sv[1]);
        if (peers_.size() == 1) {
            size_t at = 0;
            for (int n = 0; at < script_.size(); ++n) {
                const size_t piece = cut_ == 0 || n >= 96 ? kMaxPiece : cut_;
                const size_t len = std::min(piece, script_.size() - at);
                if (::send(sv[1], script_.data() + at, len, MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
                    break; // the buffer is full: the script ends here, every time alike
                at += len;
            }
        }
        ::shutdown(sv[1], SHUT_WR);
        out = platform::Socket(sv[0]);
        return 0;
    }

    unsigned cut_ = 0;
    std::string script_;
    std::vector<int> peers_;
};

} // namespace corvana::fuzz
