#pragma once
// The HTTP client of the completion report: GET over HTTP/1.1, no redirects followed, the body
// of a success returned byte for byte, cookies kept in memory and sent back. Between calls it
// may keep one idle connection open when the last response allowed it.
//
// Every call blocks the calling thread; the waits for a success's response have no time
// limit. They end at once, with the socket error for ECANCELED, when Abort() is called (from a
// signal handler or another thread) or when the process-wide platform::cancelAll() is raised.

#include "net/cookies.h"
#include "net/netio.h"
#include "platform/sockets.h"
#include "util/errors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvana::net {

// A response that is not a success, or that redirects: its text is the status line as
// received; it carries the status code and the body that came with it.
class EHttpProtocolError : public EProtocolError {
public:
    EHttpProtocolError(const std::string& statusLine, int code, std::string body)
        : EProtocolError(statusLine, code), ResponseBody(std::move(body)) {}
    std::string ResponseBody;
};

// A request address cut into its pieces; nothing of the target is rewritten.
struct Address {
    std::string host; // as written, IPv6 literals without their brackets
    uint16_t port = 80;
    std::string target; // from the first "/" on: path and query
};

// Cuts "http://host[:port]/path?query"; throws EProtocolError for another scheme and
// EConvertError for a port that is not a number.
Address splitUrl(const std::string& url);

// The request head, ending with the empty line; `cookies` is the "Cookie" value or "".
std::string requestHead(const Address& a, const std::string& cookies);

// A header line of more than 78 characters folded at white space: each continuation line
// begins with the blank it was folded at. Lines joined by CR LF, without a final one.
std::string foldHeader(const std::string& line);

// Told the request line of every request sent and the status line of every response (a run
// log). It only watches.
class HttpObserver {
public:
    virtual ~HttpObserver() = default;
    // `host` as the Host header names it.
    virtual void HttpRequest(const std::string& host, const std::string& requestLine) = 0;
    virtual void HttpStatus(const std::string& statusLine) = 0;
};

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // The body of a 2xx response without "Location"; raises EHttpProtocolError for every other
    // response, ESocketError for network failures, EProtocolError when the server closes
    // before a status line or sends a line over the limit.
    std::string Get(const std::string& Url);

    // Closes an idle connection.
    void Disconnect();
    bool Connected() const { return conn_.valid(); }
    // The status code of the last response, 0 before the first.
    int ResponseCode() const { return code_; }
    const CookieStore& Cookies() const { return cookies_; }
    // nullptr for none; not owned.
    void SetObserver(HttpObserver* observer) { observer_ = observer; }

    // Ends the blocking call in progress, or the next one, with the socket error for
    // ECANCELED. Async-signal-safe and callable from any thread; stays in force until
    // ResetAbort().
    void Abort() noexcept { cancel_.trigger(); }
    void ResetAbort() noexcept { cancel_.clear(); }

private:
    struct Response;

    void connectTo(const net::Address& a);
    void readHead(Response& r, const net::Address& a);
    bool readBody(Response& r, int pieceTimeoutMs);

    platform::Socket conn_;
    std::string connHost_;
    uint16_t connPort_ = 0;
    bool keep_ = false;
    net::Reader reader_;
    platform::Canceller cancel_;
    CookieStore cookies_;
    int code_ = 0;
    HttpObserver* observer_ = nullptr;
};

} // namespace corvana::net
