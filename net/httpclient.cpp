#include "net/httpclient.h"

#include "net/netio.h"
#include "util/hexconv.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <utility>

namespace corvana::net {
namespace {

using net::lower;
using net::trim;

using net::kMaxResponse;
// How long an error response's body may pause before we stop reading it.
constexpr int kErrorBodyPieceMs = 2000;
constexpr size_t kFoldLength = 78;

// The number after the first blank of the status line; 0 when there is none.
int statusCode(const std::string& line) {
    const size_t b = line.find(' ');
    if (b == std::string::npos)
        return 0;
    const size_t e = line.find(' ', b + 1);
    const std::string t = line.substr(b + 1, e == std::string::npos ? e : e - b - 1);
    return t.size() <= 3 &&
                   std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                   !t.empty()
               ? std::stoi(t)
               : 0;
}

[[noreturn]] void tooLarge() {
    throw EProtocolError("Die Antwort ist zu groß.");
}

bool isDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

Address splitUrl(const std::string& url) {
    // A line break in the address would end the request line and forge headers.
    if (url.find_first_of("\r\n") != std::string::npos)
        throw EProtocolError("Ungültiges Zeichen in der Adresse.");
    std::string rest = url;
    const size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        if (lower(rest.substr(0, scheme)) != "http")
            throw EProtocolError("Protokoll nicht unterstützt: " + rest.substr(0, scheme));
        rest.erase(0, scheme + 3);
    }
    const size_t end = rest.find_first_of("/?");
    std::string authority = rest.substr(0, end);
    Address a;
    a.target = end == std::string::npos ? "/" : rest.substr(end);
    if (a.target[0] == '?')
        a.target.insert(0, "/");

    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        a.host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && close + 1 < authority.size() &&
            authority[close + 1] == ':')
            port = authority.substr(close + 2);
    } else {
        const size_t colon = authority.rfind(':');
        a.host = authority.substr(0, colon);
        if (colon != std::string::npos)
            port = authority.substr(colon + 1);
    }
    if (!port.empty()) {
        if (!isDigits(port) || port.size() > 5 || std::stoi(port) > 65535)
            throw EConvertError("'" + port + "' ist kein gültiger Integerwert");
        a.port = static_cast<uint16_t>(std::stoi(port));
    }
    return a;
}

std::string foldHeader(const std::string& line) {
    std::string out;
    std::string rest = line;
    while (rest.size() > kFoldLength) {
        // The last blank that keeps this piece within the limit, else the first one after it;
        // never the blank right after the header name's colon.
        const size_t colon = out.empty() ? rest.find(':') : 0;
        const size_t from = colon == std::string::npos ? 1 : colon + 2;
        size_t at = rest.find_last_of(" \t", kFoldLength);
        if (at == std::string::npos || at < from)
            at = rest.find_first_of(" \t", from);
        if (at == std::string::npos || at < from)
            break;
        out += rest.substr(0, at) + "\r\n";
        rest.erase(0, at);
    }
    return out + rest;
}

std::string requestHead(const Address& a, const std::string& cookies) {
    std::string host = a.host.find(':') != std::string::npos ? "[" + a.host + "]" : a.host;
    if (a.port != 80)
        host += ":" + std::to_string(a.port);
    // The request line is never folded: a break in it would change the target.
    std::string head = "GET " + a.target + " HTTP/1.1\r\n";
    auto header = [&](const std::string& line) { head += foldHeader(line) + "\r\n"; };
    header("Content-Type: text/html");
    header("Host: " + host);
    header("Accept: text/html, */*");
    header("User-Agent: Mozilla/3.0 (compatible; Corvana Pellquin)");
    if (!cookies.empty())
        header("Cookie: " + cookies);
    return head + "\r\n";
}

struct HttpClient::Response {
    std::string statusLine;
    int code = 0;
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    bool closed = false;                                      // the stream has ended
    size_t size = 0;
    std::string body;

    const std::string* header(const std::string& name) const {
        for (const auto& h : headers)
            if (h.first == name)
                return &h.second;
        return nullptr;
    }
};

HttpClient::HttpClient() = default;
HttpClient::~HttpClient() = default;

void HttpClient::Disconnect() {
    conn_.close();
    reader_.reset();
    keep_ = false;
}

void HttpClient::connectTo(const net::Address& a) {
    if (conn_.valid() && (lower(a.host) != lower(connHost_) || a.port != connPort_ || !keep_))
        Disconnect();
    // An idle connection the server has given up meanwhile would fail the request.
    if (conn_.valid() && (reader_.hasBuffered() || platform::peerGone(conn_)))
        Disconnect();
    if (conn_.valid())
        return;
    platform::Socket s;
    if (const int err = platform::connectTcp(a.host, a.port, false, &cancel_, s))
        net::throwSocketError(err);
    conn_ = std::move(s);
    connHost_ = a.host;
    connPort_ = a.port;
    reader_.attach(&conn_, &cancel_);
}

void HttpClient::readHead(Response& r, const net::Address& a) {
    const std::string path = a.target.substr(0, a.target.find('?'));
    for (;;) {
        std::string line;
        net::Reader::Result res;
        do
            res = reader_.readLine(line);
        while (res == net::Reader::Result::Ok && line.empty());
        if (res != net::Reader::Result::Ok) {
            if (line.empty())
                net::throwClosedGracefully();
            r.closed = true;
        }
        r.statusLine = line;
        r.headers.clear();
        r.size = line.size();
        while (!r.closed) {
            res = reader_.readLine(line);
            if (res != net::Reader::Result::Ok)
                r.closed = true; // what came so far is the whole head
            if (line.empty())
                break;
            if ((r.size += line.size()) > kMaxResponse)
                tooLarge();
            if ((line[0] == ' ' || line[0] == '\t') && !r.headers.empty()) {
                r.headers.back().second += " " + trim(line);
                continue;
            }
            const size_t colon = line.find(':');
            r.headers.emplace_back(lower(trim(line.substr(0, colon))),
                                   colon == std::string::npos ? "" : trim(line.substr(colon + 1)));
        }
        for (const auto& [name, value] : r.headers)
            if (name == "set-cookie" || name == "set-cookie2")
                cookies_.Take(value, name == "set-cookie2", a.host, path);

        r.code = statusCode(r.statusLine);
        // Interim answers (100 Continue and its kind) are followed by the real one.
        if (r.code >= 100 && r.code < 200 && r.code != 101 && !r.closed)
            continue;
        return;
    }
}

// Reads the body by the response's framing. Returns false when the body did not end where its
// framing says (the wait ran out or the stream broke), so the connection cannot be reused.
bool HttpClient::readBody(Response& r, int pieceTimeoutMs) {
    using Result = net::Reader::Result;
    auto append = [&](size_t want) {
        if (r.size + want > kMaxResponse)
            tooLarge();
        net::reserveWithin(r.body, want, kMaxResponse);
        const size_t before = r.body.size();
        const Result res = reader_.readSome(r.body, want, pieceTimeoutMs);
        r.size += r.body.size() - before;
        if (res == Result::Closed)
            r.closed = true;
        return res;
    };
    auto exactly = [&](uint64_t n) {
        while (n > 0) {
            const size_t before = r.body.size();
            const size_t want = n > 65536 ? 65536 : static_cast<size_t>(n);
            if (append(want) != Result::Ok)
                return false;
            n -= r.body.size() - before;
        }
        return true;
    };

    if (r.closed || r.code == 204 || r.code == 304 || (r.code >= 100 && r.code < 200))
        return true;

    const std::string* te = r.header("transfer-encoding");
    if (te && lower(*te).find("chunked") != std::string::npos) {
        for (;;) {
            std::string line;
            Result res = reader_.readLine(line, pieceTimeoutMs);
            if (res != Result::Ok) {
                r.closed = res == Result::Closed;
                return false;
            }
            const std::string hex = trim(line.substr(0, line.find(';')));
            const int64_t size = HexToInt64(hex);
            if (size < 0 || r.size + static_cast<uint64_t>(size) > kMaxResponse)
                tooLarge();
            if (size == 0) {
                // The trailer: header lines up to an empty one (usually just the empty one).
                do
                    res = reader_.readLine(line, pieceTimeoutMs);
                while (res == Result::Ok && !line.empty());
                r.closed = res == Result::Closed;
                return res == Result::Ok;
            }
            if (!exactly(static_cast<uint64_t>(size)))
                return false;
            res = reader_.readLine(line, pieceTimeoutMs);
            if (res != Result::Ok) {
                r.closed = res == Result::Closed;
                return false;
            }
        }
    }

    const std::string* cl = r.header("content-length");
    if (cl && isDigits(*cl) && cl->size() <= 18) {
        const uint64_t n = std::stoull(*cl);
        return n == 0 || exactly(n);
    }
    // No framing: the body ends when the server closes.
    for (;;) {
        const Result res = append(65536);
        if (res == Result::Closed)
            return true;
        if (res == Result::TimedOut)
            return false;
    }
}

std::string HttpClient::Get(const std::string& Url) {
    const net::Address a = net::splitUrl(Url);
    connectTo(a);
    const std::string path = a.target.substr(0, a.target.find('?'));
    const std::string head = net::requestHead(a, cookies_.Header(a.host, path));

    Response r;
    try {
        if (const int err = platform::sendAll(conn_, head.data(), head.size(), &cancel_))
            net::throwSocketError(err);
        if (observer_)
            observer_->HttpRequest(a.port == 80 ? a.host : a.host + ":" + std::to_string(a.port),
                                   head.substr(0, head.find("\r\n")));
        readHead(r, a);
        if (observer_)
            observer_->HttpStatus(r.statusLine);
    } catch (...) {
        Disconnect();
        throw;
    }
    code_ = r.code;

    const std::string* location = r.header("location");
    const bool success = r.code >= 200 && r.code < 300 && !location;
    bool complete = false;
    try {
        complete = readBody(r, success ? -1 : kErrorBodyPieceMs);
    } catch (const ESocketError& e) {
        // The status line already says what went wrong; a body broken off after it adds
        // nothing. A cancel, though, must end the call as a cancel.
        if (success || e.osError == ECANCELED) {
            Disconnect();
            throw;
        }
    } catch (const Exception&) {
        if (success) {
            Disconnect();
            throw;
        }
    }

    auto says = [&](const char* name, const char* word) {
        const std::string* v = r.header(name);
        return v && lower(trim(*v)) == word;
    };
    // An HTTP/1.0 server closes after the response unless it has said otherwise.
    const bool http10 = r.statusLine.rfind("HTTP/1.0", 0) == 0;
    keep_ = complete && !r.closed && !says("connection", "close") &&
            !says("proxy-connection", "close") && !(http10 && !says("connection", "keep-alive"));
    if (!keep_)
        Disconnect();

    if (!success)
        throw EHttpProtocolError(r.statusLine, r.code, std::move(r.body));
    return std::move(r.body);
}

} // namespace corvana::net
