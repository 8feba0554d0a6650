#pragma once
// What the FTP and the HTTP client share: the error texts of the network layer and the
// buffered reading of one connection, with the line limit both protocols apply.

#include "platform/sockets.h"

#include <cstddef>
#include <string>

namespace corvana::net {

// The limits on what a peer may make us hold. A line of a reply or a header:
inline constexpr size_t kMaxLineLength = 16384;
// An FTP listing, kept in memory: a server that never stops sending must not exhaust it.
inline constexpr size_t kMaxListing = 64u << 20;
// The text of an FTP reply, kept only for an error message: an endless reply stops growing.
inline constexpr size_t kMaxReplyText = 1u << 20;
// An HTTP response, held in memory.
inline constexpr size_t kMaxResponse = 64u << 20;

// "Socket-Fehler # %d\r\n%s" with the number and its description.
[[noreturn]] void throwSocketError(int err);
// The peer closed the connection while we awaited its answer.
[[noreturn]] void throwClosedGracefully();
[[noreturn]] void throwLineTooLong();

// Header names and attribute names compare without regard to ASCII case; values lose the
// blanks and tabs around them.
std::string lower(std::string s);
std::string trim(const std::string& s);

// Makes room for `more` bytes without letting the buffer's doubling overshoot `cap`, so that a
// body or listing held to a cap never takes twice the cap at its last growth.
void reserveWithin(std::string& s, size_t more, size_t cap);

// Reads one connection through a buffer, so that lines and the bytes after them come out in
// the order they arrived.
class Reader {
public:
    enum class Result { Ok, Closed, TimedOut };

    void attach(const platform::Socket* s, const platform::Canceller* cancel);
    void reset();
    bool hasBuffered() const { return pos_ < buf_.size(); }

    // One line ending in LF; the LF and a CR just before it are dropped. At the end of the
    // stream: Closed, with an unfinished last line (possibly empty) in `line`. A line longer
    // than kMaxLineLength throws; so do socket failures.
    Result readLine(std::string& line, int timeoutMs = -1);

    // Appends up to `max` bytes: what is buffered, else what one receive brings. Closed when
    // the stream has ended.
    Result readSome(std::string& out, size_t max, int timeoutMs = -1);

private:
    Result fill(int timeoutMs);

    const platform::Socket* sock_ = nullptr;
    const platform::Canceller* cancel_ = nullptr;
    std::string buf_;
    size_t pos_ = 0;
};

} // namespace corvana::net
