#include "net/cookies.h"

#include "net/netio.h"
#include "platform/sockets.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

namespace corvana::net {
namespace {

using net::lower;
using net::trim;

// A server handing out cookies without end must not make the store grow without end.
constexpr size_t kMaxCookies = 300;

std::string unquote(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

// Splits at `sep`; with `quotes`, separators inside double quotes do not count.
std::vector<std::string> split(const std::string& s, char sep, bool quotes) {
    std::vector<std::string> parts;
    std::string cur;
    bool inQuote = false;
    for (char c : s) {
        if (quotes && c == '"')
            inQuote = !inQuote;
        if (c == sep && !inQuote) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

// A name that is no single word (a stray quote swallowed what followed it, say) or a control
// character anywhere would put separators or line breaks of its own into the Cookie header.
bool sendable(const std::string& name, const std::string& value) {
    auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    for (char c : name)
        if (control(c) || c == ' ' || c == ';' || c == ',' || c == '"')
            return false;
    return std::none_of(value.begin(), value.end(), control);
}

bool isIpLiteral(const std::string& host) {
    unsigned char buf[16];
    return ::inet_pton(AF_INET, host.c_str(), buf) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buf) == 1 || host.find(':') != std::string::npos;
}

bool domainMatch(const std::string& host, const std::string& domain) {
    if (host == domain)
        return true;
    return host.size() > domain.size() &&
           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.' && !isIpLiteral(host);
}

bool pathMatch(const std::string& requestPath, const std::string& cookiePath) {
    if (requestPath == cookiePath)
        return true;
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0)
        return false;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string defaultPath(const std::string& requestPath) {
    if (requestPath.empty() || requestPath[0] != '/')
        return "/";
    const size_t slash = requestPath.rfind('/');
    return slash == 0 ? "/" : requestPath.substr(0, slash);
}

} // namespace

std::time_t CookieStore::ParseDate(const std::string& text) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    int day = -1, month = -1, year = -1, hh = -1, mm = -1, ss = -1;
    std::string token;
    auto take = [&] {
        if (token.empty())
            return;
        const std::string t = lower(token);
        token.clear();
        if (hh < 0 && std::count(t.begin(), t.end(), ':') == 2) {
            if (std::sscanf(t.c_str(), "%d:%d:%d", &hh, &mm, &ss) != 3)
                hh = -1;
            return;
        }
        if (std::all_of(t.begin(), t.end(), [](char c) { return std::isdigit(c); })) {
            const int v = std::atoi(t.c_str());
            if (day < 0 && t.size() <= 2)
                day = v;
            else if (year < 0 && (t.size() == 2 || t.size() == 4))
                year = t.size() == 2 ? (v < 70 ? 2000 + v : 1900 + v) : v;
            return;
        }
        for (int m = 0; m < 12 && month < 0; ++m)
            if (t.compare(0, 3, kMonths[m]) == 0)
                month = m;
    };
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == ':')
            token += c;
        else
            take();
    }
    take();
    if (day < 1 || day > 31 || month < 0 || year < 1601 || hh < 0 || hh > 23 || mm < 0 || mm > 59 ||
        ss < 0 || ss > 60)
        return -1;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hh;
    tm.tm_min = mm;
    tm.tm_sec = ss;
    // A date before 1970 is as past as 1970 itself: a cookie sent with it is to be deleted,
    // not kept as if it had no date (which a negative time would look like).
    const std::time_t t = ::timegm(&tm);
    return t < 0 ? 0 : t;
}

void CookieStore::Take(const std::string& value, bool version2, const std::string& host,
                       const std::string& requestPath) {
    if (!version2) {
        // Commas belong to the dates of "Expires" here, never separate cookies.
        takeOne(value, false, host, requestPath);
        return;
    }
    for (const auto& one : split(value, ',', true))
        takeOne(one, true, host, requestPath);
}

void CookieStore::takeOne(const std::string& text, bool version2, const std::string& rawHost,
                          const std::string& requestPath) {
    const auto parts = split(text, ';', version2);
    const std::string pair = parts.front();
    const size_t eq = pair.find('=');
    if (eq == std::string::npos)
        return;
    Cookie c;
    c.name = trim(pair.substr(0, eq));
    c.value = trim(pair.substr(eq + 1));
    if (c.name.empty() || !sendable(c.name, c.value))
        return;
    const std::string host = lower(rawHost);
    c.domain = host;
    c.path = defaultPath(requestPath);

    bool haveMaxAge = false;
    const std::time_t now = std::time(nullptr);
    for (size_t i = 1; i < parts.size(); ++i) {
        const size_t e = parts[i].find('=');
        const std::string name = lower(trim(parts[i].substr(0, e)));
        const std::string val =
            e == std::string::npos ? std::string() : unquote(trim(parts[i].substr(e + 1)));
        if (name == "path") {
            if (!val.empty() && val[0] == '/')
                c.path = val;
        } else if (name == "domain") {
            std::string d = lower(val);
            if (!d.empty() && d[0] == '.')
                d.erase(0, 1);
            if (d.empty())
                continue;
            // A cookie for a domain the answering host does not belong to is refused.
            if (!domainMatch(host, d))
                return;
            c.domain = d;
            c.hostOnly = d == host;
        } else if (name == "max-age") {
            char* end = nullptr;
            const long long secs = std::strtoll(val.c_str(), &end, 10);
            if (val.empty() || *end)
                continue;
            haveMaxAge = true;
            // A huge Max-Age means for ever, not an overflow into the past.
            const std::time_t last = std::numeric_limits<std::time_t>::max();
            c.expires = secs <= 0            ? 1
                        : secs >= last - now ? last
                                             : now + static_cast<std::time_t>(secs);
        } else if (name == "expires" && !haveMaxAge) {
            const std::time_t t = ParseDate(val);
            if (t >= 0)
                c.expires = t <= 0 ? 1 : t;
        } else if (name == "secure") {
            c.secure = true;
        }
    }

    auto same = [&](const Cookie& o) {
        return o.name == c.name && o.domain == c.domain && o.path == c.path;
    };
    auto old = std::find_if(cookies_.begin(), cookies_.end(), same);
    const bool expired = c.expires != 0 && c.expires <= now;
    if (old != cookies_.end()) {
        if (expired) {
            cookies_.erase(old);
            return;
        }
        c.order = old->order; // a replaced cookie keeps its place
        *old = std::move(c);
        return;
    }
    if (expired)
        return;
    c.order = next_++;
    if (cookies_.size() >= kMaxCookies)
        cookies_.erase(
            std::min_element(cookies_.begin(), cookies_.end(),
                             [](const Cookie& a, const Cookie& b) { return a.order < b.order; }));
    cookies_.push_back(std::move(c));
}

std::string CookieStore::Header(const std::string& rawHost, const std::string& requestPath) const {
    const std::string host = lower(rawHost);
    const std::string path = requestPath.empty() ? "/" : requestPath;
    const std::time_t now = std::time(nullptr);
    std::vector<const Cookie*> match;
    for (const auto& c : cookies_) {
        if (c.secure || (c.expires != 0 && c.expires <= now))
            continue;
        if (c.hostOnly ? host != c.domain : !domainMatch(host, c.domain))
            continue;
        if (!pathMatch(path, c.path))
            continue;
        match.push_back(&c);
    }
    std::stable_sort(match.begin(), match.end(), [](const Cookie* a, const Cookie* b) {
        if (a->path.size() != b->path.size())
            return a->path.size() > b->path.size();
        return a->order < b->order;
    });
    std::string out;
    for (const Cookie* c : match) {
        if (!out.empty())
            out += "; ";
        out += c->name + "=" + c->value;
    }
    return out;
}

} // namespace corvana::net
