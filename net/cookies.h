#pragma once
// The HTTP client's cookie store: in memory only, for the life of the client. Cookies are
// matched by host and path; the port plays no part, and secure cookies are never sent over
// the plain connections the client makes.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace corvana::net {

class CookieStore {
public:
    // Takes the value of one "Set-cookie" header (`version2` false) or "Set-cookie2" header
    // (true, possibly several cookies separated by commas) received for a request to `host`
    // and `requestPath` (the path without its query).
    void Take(const std::string& value, bool version2, const std::string& host,
              const std::string& requestPath);

    // "name=value; name2=value2" of the cookies a request to `host` and `requestPath` carries,
    // longest path first; "" when none matches.
    std::string Header(const std::string& host, const std::string& requestPath) const;

    int Count() const { return static_cast<int>(cookies_.size()); }
    void Clear() { cookies_.clear(); }

    // Reading of the "Expires" attribute's dates; -1 when the text is not a date.
    static std::time_t ParseDate(const std::string& text);

private:
    struct Cookie {
        std::string name;
        std::string value;
        std::string domain; // lower case, without a leading dot
        std::string path;
        bool hostOnly = true;
        bool secure = false;
        std::time_t expires = 0; // 0: until the client goes
        uint64_t order = 0;
    };

    void takeOne(const std::string& text, bool version2, const std::string& host,
                 const std::string& requestPath);

    std::vector<Cookie> cookies_;
    uint64_t next_ = 0;
};

} // namespace corvana::net
