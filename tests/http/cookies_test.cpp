// Cookies whose name or value would break the Cookie header apart are refused: a stray quote
// in a Set-cookie2 list that swallows the cookies after it, control characters (a lone CR
// survives the line reading), blanks or separators in a name. A cookie sent with a date
// before 1970 is deleted, not kept; one with a huge Max-Age is kept.
#include "net/cookies.h"

#include <gtest/gtest.h>

#include <string>

namespace corvana {
namespace {

TEST(CookieRefusal, NamesAndValuesThatWouldBreakTheHeaderAreNotKept) {
    struct Case {
        const char* value;
        bool version2;
        const char* sent;
    };
    const Case cases[] = {
        {"a=1; Path=/", false, "a=1"},
        {"a=\"x; y\"; Version=1", true, "a=\"x; y\""},          // a quoted value may hold "; "
        {"a=1, 2\"; Version<1; Path=\"/p\", b=2", true, "a=1"}, // the stray quote's cookie goes
        {"a=b\rc", false, ""},
        {"a\x01=b", false, ""},
        {"a b=c", false, ""},
        {"a;b=c", true, ""},
        {"x\"y=1", false, ""},
        {"a=x\ty", false, ""},
    };
    for (const auto& c : cases) {
        net::CookieStore store;
        store.Take(c.value, c.version2, "portal.test", "/");
        EXPECT_EQ(store.Header("portal.test", "/"), c.sent) << c.value;
    }
}

TEST(CookieRefusal, AHugeMaxAgeKeepsTheCookie) {
    net::CookieStore store;
    store.Take("a=1; Max-Age=99999999999999999999999", false, "portal.test", "/");
    EXPECT_EQ(store.Header("portal.test", "/"), "a=1");
}

TEST(CookieRefusal, ADateBefore1970DeletesTheCookie) {
    EXPECT_EQ(net::CookieStore::ParseDate("Sun, 06 Nov 1894 08:49:37 GMT"), 0);
    net::CookieStore store;
    store.Take("a=1", false, "portal.test", "/");
    store.Take("a=; expires=Mon, 01 Jan 1900 00:00:00 GMT", false, "portal.test", "/");
    EXPECT_EQ(store.Header("portal.test", "/"), "");
}

} // namespace
} // namespace corvana
