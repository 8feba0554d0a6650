#include "net/netio.h"

#include "util/errors.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace corvana::net {
namespace {

constexpr size_t kChunk = 16384;

} // namespace

void throwSocketError(int err) {
    throw ESocketError(
        "Socket-Fehler # " + std::to_string(err) + "\r\n" + platform::socketErrorText(err), err);
}

void throwClosedGracefully() {
    throw EProtocolError("Die Verbindung wurde erfolgreich geschlossen.");
}

void throwLineTooLong() {
    throw EProtocolError("Max. Zeilenlänge überschritten.");
}

void Reader::attach(const platform::Socket* s, const platform::Canceller* cancel) {
    sock_ = s;
    cancel_ = cancel;
    reset();
}

void Reader::reset() {
    buf_.clear();
    pos_ = 0;
}

Reader::Result Reader::fill(int timeoutMs) {
    if (pos_ > 0 && pos_ == buf_.size())
        reset();
    else if (pos_ > kChunk) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    if (!sock_ || !sock_->valid())
        throwSocketError(ENOTCONN);
    const size_t old = buf_.size();
    buf_.resize(old + kChunk);
    size_t got = 0;
    const int err = platform::receive(*sock_, buf_.data() + old, kChunk, got, cancel_, timeoutMs);
    buf_.resize(old + got);
    if (err == platform::kTimedOut)
        return Result::TimedOut;
    if (err)
        throwSocketError(err);
    return got == 0 ? Result::Closed : Result::Ok;
}

Reader::Result Reader::readLine(std::string& line, int timeoutMs) {
    size_t scanned = pos_;
    for (;;) {
        const size_t lf = buf_.find('\n', scanned);
        if (lf != std::string::npos) {
            size_t end = lf;
            if (end > pos_ && buf_[end - 1] == '\r')
                --end;
            if (end - pos_ > kMaxLineLength)
                throwLineTooLong();
            line.assign(buf_, pos_, end - pos_);
            pos_ = lf + 1;
            return Result::Ok;
        }
        // No need to wait for the end of a line that is too long already (one byte of
        // slack for a CR that may precede the LF).
        const size_t pending = buf_.size() - pos_;
        if (pending > kMaxLineLength + 1 || (pending == kMaxLineLength + 1 && buf_.back() != '\r'))
            throwLineTooLong();
        // fill() may move the unread bytes to the front of the buffer.
        const Result r = fill(timeoutMs);
        scanned = pos_ + pending;
        if (r == Result::TimedOut) {
            line.clear();
            return r;
        }
        if (r == Result::Closed) {
            line.assign(buf_, pos_, std::string::npos);
            pos_ = buf_.size();
            return r;
        }
    }
}

Reader::Result Reader::readSome(std::string& out, size_t max, int timeoutMs) {
    if (!hasBuffered()) {
        const Result r = fill(timeoutMs);
        if (r != Result::Ok)
            return r;
    }
    const size_t n = std::min(max, buf_.size() - pos_);
    out.append(buf_, pos_, n);
    pos_ += n;
    return Result::Ok;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void reserveWithin(std::string& s, size_t more, size_t cap) {
    const size_t need = s.size() + more;
    if (need <= s.capacity())
        return;
    s.reserve(std::min(std::max(need, 2 * s.capacity()), std::max(need, cap)));
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace corvana::net
