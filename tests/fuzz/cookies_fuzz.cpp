// Any bytes as a series of "Set-cookie" and "Set-cookie2" values from answering hosts, and of
// requests whose "Cookie" headers the store builds. Input: lines; each is a command letter and
// its text:  S<host> <path> <value> (Set-cookie), T... (Set-cookie2), G<host> <path> (a
// request), D<text> (a date alone). What the store sends must be pairs it was given, for a
// host and path they belong to, never a line break that would forge a header, and the store
// stays within its bound.
#include "fuzz_check.h"
#include "net/cookies.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

using namespace corvana;
using corvana::fuzz::check;

namespace {

std::string field(const std::string& s, size_t& pos) {
    const size_t end = s.find(' ', pos);
    std::string f = s.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? s.size() : end + 1;
    return f;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool within(const std::string& host, const std::string& domain) {
    return host == domain ||
           (host.size() > domain.size() &&
            host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
            host[host.size() - domain.size() - 1] == '.');
}

// Whether `host` lies in a domain of one of `setters` (the setter itself or a parent).
bool related(const std::string& host, const std::vector<std::string>& setters) {
    for (const auto& s : setters) {
        if (within(host, s))
            return true;
        for (size_t dot = s.find('.'); dot != std::string::npos; dot = s.find('.', dot + 1))
            if (dot + 1 < s.size() && within(host, s.substr(dot + 1)))
                return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    net::CookieStore store;
    std::vector<std::string> given; // every value text handed to the store
    std::vector<std::string> hosts; // the hosts that answered with them
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        size_t pos = 1;
        switch (line[0]) {
        case 'S':
        case 'T': {
            const std::string host = field(line, pos);
            const std::string path = field(line, pos);
            const std::string value = line.substr(pos);
            store.Take(value, line[0] == 'T', host, path);
            given.push_back(value);
            hosts.push_back(lower(host));
            break;
        }
        case 'G': {
            const std::string host = field(line, pos);
            const std::string path = field(line, pos);
            const std::string header = store.Header(host, path);
            for (char c : header)
                check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            // A host that shares no domain with any host that set cookies gets none.
            if (!related(lower(host), hosts))
                check(header.empty());
            // Each pair sent (a quoted value may hold "; ") has a name without separators,
            // and came from a value the store was handed.
            std::vector<std::string> pairs;
            std::string cur;
            bool quoted = false;
            for (size_t i = 0; i < header.size(); ++i) {
                if (header[i] == '"')
                    quoted = !quoted;
                if (!quoted && header.compare(i, 2, "; ") == 0) {
                    pairs.push_back(cur);
                    cur.clear();
                    ++i;
                } else {
                    cur += header[i];
                }
            }
            if (!header.empty())
                pairs.push_back(cur);
            for (const auto& pair : pairs) {
                const size_t eq = pair.find('=');
                check(eq != std::string::npos && eq > 0);
                const std::string name = pair.substr(0, eq);
                check(name.find_first_of(" ;,\"") == std::string::npos);
                bool found = false;
                for (const auto& g : given)
                    found = found || g.find(name) != std::string::npos;
                check(found);
            }
            break;
        }
        case 'D': {
            const std::time_t t = net::CookieStore::ParseDate(line.substr(1));
            check(t >= -1);
            break;
        }
        default:
            break;
        }
        check(store.Count() <= 300);
    }
    return 0;
}
