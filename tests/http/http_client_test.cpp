// The HTTP client against the scripted loopback server: the exact request bytes, the status
// and body rules, connection reuse, cookies, and the failures.
#include "net/httpclient.h"

#include "platform/sockets.h"
#include "tests/netsupport/expect.h"
#include "tests/netsupport/httpstub.h"
#include "tests/netsupport/loopback.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace corvana {
namespace {

using test::HttpStub;
using Then = HttpStub::Then;

std::string url(const HttpStub& s, const std::string& target) {
    return "http://" + s.hostPort() + target;
}

const std::string kAgent = "User-Agent: Mozilla/3.0 (compatible; Corvana Pellquin)\r\n";

TEST(HttpClientTest, SendsTheRequestByteForByte) {
    HttpStub server;
    server.respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    net::HttpClient client;
    EXPECT_EQ(client.Get(url(server, "/Corvana/(S(x1y2z3))/Statistik.aspx?QYX=QYX12345-PQ")), "ok");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "GET /Corvana/(S(x1y2z3))/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1\r\n"
              "Content-Type: text/html\r\n"
              "Host: " +
                  server.hostPort() +
                  "\r\n"
                  "Accept: text/html, */*\r\n" +
                  kAgent + "\r\n");
    EXPECT_EQ(client.ResponseCode(), 200);
}

TEST(HttpClientTest, AddressesAreSplitWithoutRewriting) {
    struct Row {
        const char* url;
        std::string requestLine;
        std::string host;
    };
    const Row rows[] = {
        {"http://portal.example/Corvana/a.aspx?x=1", "GET /Corvana/a.aspx?x=1 HTTP/1.1",
         "portal.example"},
        {"http://portal.example:8080", "GET / HTTP/1.1", "portal.example:8080"},
        {"HTTP://portal.example:80/a%20b c", "GET /a%20b c HTTP/1.1", "portal.example"},
        {"http://portal.example?q=1", "GET /?q=1 HTTP/1.1", "portal.example"},
        {"http://[::1]:81/x", "GET /x HTTP/1.1", "[::1]:81"},
        {"portal.example/y", "GET /y HTTP/1.1", "portal.example"},
    };
    for (const Row& r : rows) {
        const std::string head = net::requestHead(net::splitUrl(r.url), "");
        EXPECT_EQ(head, r.requestLine + "\r\nContent-Type: text/html\r\nHost: " + r.host +
                            "\r\nAccept: text/html, */*\r\n" + kAgent + "\r\n")
            << r.url;
    }
    EXPECT_EQ(test::errorText<EProtocolError>([] { net::splitUrl("https://portal.example/"); }),
              "Protokoll nicht unterstützt: https");
    EXPECT_EQ(test::errorText<EProtocolError>(
                  [] { net::splitUrl("http://portal.example/a\r\nX-Forged: 1"); }),
              "Ungültiges Zeichen in der Adresse.");
    EXPECT_EQ(test::errorText<EConvertError>([] { net::splitUrl("http://portal.example:8o/"); }),
              "'8o' ist kein gültiger Integerwert");
}

struct StatusCase {
    const char* name;
    std::string response;
    Then then;
    std::string body;  // returned, or carried by the error
    std::string error; // "" for a success
    int code;
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.name;
}

class HttpStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(HttpStatusTest, ReturnsTheBodyOrRaisesTheStatusLine) {
    const StatusCase& c = GetParam();
    HttpStub server;
    server.respond(c.response, c.then);
    net::HttpClient client;
    std::string body, error = "<no error>";
    int code = -1;
    try {
        body = client.Get(url(server, "/Statistik.aspx?QYX=QYX1-PQ"));
    } catch (const net::EHttpProtocolError& e) {
        error = e.what();
        code = e.statusCode;
        body = e.ResponseBody;
    }
    EXPECT_EQ(error, c.error.empty() ? "<no error>" : c.error);
    EXPECT_EQ(body, c.body);
    if (!c.error.empty()) {
        EXPECT_EQ(code, c.code);
    }
    EXPECT_EQ(client.ResponseCode(), c.code);
    EXPECT_EQ(server.requests().size(), 1u) << "no redirect followed, nothing retried";
}

INSTANTIATE_TEST_SUITE_P(
    Responses, HttpStatusTest,
    ::testing::Values(
        StatusCase{"OkWithBody", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nthanks", Then::Keep,
                   "thank", "", 200},
        StatusCase{"BinaryBody",
                   "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n" +
                       std::string("\0\xff\r\n\x80z", 6),
                   Then::Keep, std::string("\0\xff\r\n\x80z", 6), "", 200},
        StatusCase{"ContentLengthZero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", Then::Keep,
                   "", "", 200},
        StatusCase{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", Then::Keep, "", "", 204},
        StatusCase{"Chunked",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nHello\r\n"
                   "7;note=x\r\n, World\r\n0\r\n\r\n",
                   Then::Keep, "Hello, World", "", 200},
        StatusCase{"UntilClose", "HTTP/1.1 200 OK\r\nServer: stub\r\n\r\nall of it", Then::Close,
                   "all of it", "", 200},
        StatusCase{"ClosedBeforeTheLengthIsReached",
                   "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", Then::Close, "short", "",
                   200},
        StatusCase{"ClosedDuringTheHeaders", "HTTP/1.1 200 OK\r\nServer: stub\r\n", Then::Close, "",
                   "", 200},
        StatusCase{"HeaderNamesInAnyCase", "HTTP/1.1 200 OK\r\ncontent-LENGTH: 3\r\n\r\nabcdef",
                   Then::Keep, "abc", "", 200},
        StatusCase{"ContinueThenTheRealStatus",
                   "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nyes",
                   Then::Keep, "yes", "", 200},
        StatusCase{"Redirect",
                   "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\n"
                   "Content-Length: 5\r\n\r\nmoved",
                   Then::Keep, "moved", "HTTP/1.1 302 Found", 302},
        StatusCase{"SuccessWithLocation",
                   "HTTP/1.1 201 Created\r\nLocation: /new\r\nContent-Length: 0\r\n\r\n",
                   Then::Keep, "", "HTTP/1.1 201 Created", 201},
        StatusCase{"NotFound", "HTTP/1.1 404 Not Found\r\nContent-Length: 13\r\n\r\n<h1>gone</h1>",
                   Then::Keep, "<h1>gone</h1>", "HTTP/1.1 404 Not Found", 404},
        StatusCase{"ErrorBodyUntilClose", "HTTP/1.1 500 Internal Server Error\r\n\r\noops",
                   Then::Close, "oops", "HTTP/1.1 500 Internal Server Error", 500},
        StatusCase{"GarbageStatus", "HTTP/1.1 2OO OK\r\nContent-Length: 0\r\n\r\n", Then::Keep, "",
                   "HTTP/1.1 2OO OK", 0},
        StatusCase{"NoStatusLineAtAll", "hello\r\n\r\n", Then::Close, "", "hello", 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(HttpClientTest, ErrorBodyThatStallsEndsTheCallWithTheError) {
    HttpStub server;
    // No length, connection kept open: the body would never end on its own.
    server.respond("HTTP/1.1 503 Service Unavailable\r\n\r\nplease wait");
    net::HttpClient client;
    try {
        client.Get(url(server, "/"));
        FAIL() << "no error";
    } catch (const net::EHttpProtocolError& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 503 Service Unavailable");
        EXPECT_EQ(e.ResponseBody, "please wait");
    }
    EXPECT_FALSE(client.Connected());
}

TEST(HttpClientTest, ConnectionIsKeptOnlyWhenTheResponseAllowsIt) {
    HttpStub a, b;
    net::HttpClient client;
    a.respond("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1");
    a.respond("HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\n2");
    a.respond("HTTP/1.1 200 OK\r\nConnection: Close \r\nContent-Length: 1\r\n\r\n3");
    a.respond("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n4");
    a.respond("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n5");
    EXPECT_EQ(client.Get(url(a, "/1")), "1");
    EXPECT_THROW(client.Get(url(a, "/2")), net::EHttpProtocolError);
    EXPECT_EQ(client.Get(url(a, "/3")), "3");
    EXPECT_EQ(client.Get(url(a, "/4")), "4");
    EXPECT_EQ(client.Get(url(a, "/5")), "5");
    std::vector<int> conns;
    for (const auto& r : a.requests())
        conns.push_back(r.connection);
    EXPECT_EQ(conns, (std::vector<int>{1, 1, 1, 2, 3}));
    EXPECT_TRUE(client.Connected());

    // Another host (here: another port) closes the open connection first.
    b.respond("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb");
    EXPECT_EQ(client.Get(url(b, "/")), "b");
    EXPECT_TRUE(a.waitClientClosed(3)) << "connections 1 and 2 by the client, then 3";
}

TEST(HttpClientTest, IdleConnectionClosedByTheServerIsNotReused) {
    HttpStub server;
    server.respond("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst", Then::Close);
    server.respond("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond");
    net::HttpClient client;
    EXPECT_EQ(client.Get(url(server, "/")), "first");
    ASSERT_TRUE(server.waitServerClosed(1));
    EXPECT_EQ(client.Get(url(server, "/")), "second");
    EXPECT_EQ(server.requests().back().connection, 2);
}

std::string cookieLine(const std::string& request) {
    const size_t at = request.find("Cookie: ");
    if (at == std::string::npos)
        return "";
    return request.substr(at + 8, request.find("\r\n", at) - at - 8);
}

TEST(HttpClientTest, CookiesAreSentBackWhereTheirPathCovers) {
    HttpStub server;
    server.respond("HTTP/1.1 200 OK\r\n"
                   "Set-Cookie: sid=abc; Path=/Corvana; HttpOnly\r\n"
                   "set-COOKIE2: lang=\"de\"; Version=\"1\"; Path=\"/\"\r\n"
                   "Set-Cookie: gone=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT\r\n"
                   "Set-Cookie: safe=1; Secure\r\n"
                   "Set-Cookie: foreign=1; Domain=portal.example\r\n"
                   "Content-Length: 0\r\n\r\n");
    for (int i = 0; i < 3; ++i)
        server.respond("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    net::HttpClient client;
    client.Get(url(server, "/Corvana/Login.aspx"));
    client.Get(url(server, "/Corvana/(S(x))/Statistik.aspx?QYX=QYX1"));
    client.Get(url(server, "/CorvanaX/page"));
    client.Get(url(server, "/"));
    const auto r = server.requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(cookieLine(r[0].raw), "");
    EXPECT_EQ(cookieLine(r[1].raw), "sid=abc; lang=\"de\"");
    EXPECT_EQ(cookieLine(r[2].raw), "lang=\"de\"");
    EXPECT_EQ(cookieLine(r[3].raw), "lang=\"de\"");
    EXPECT_EQ(client.Cookies().Count(), 3) << "sid, lang and the secure one";
}

TEST(HttpClientTest, CookieStoreMatchesHostAndPath) {
    net::CookieStore store;
    store.Take("a=1", false, "Portal.Example", "/shop/cart/view.aspx");
    store.Take("b=2; Domain=.portal.example", false, "www.portal.example", "/");
    store.Take("c=3; Max-Age=0", false, "portal.example", "/");
    store.Take("d=4; Domain=other.example", false, "portal.example", "/"); // not its domain
    store.Take("a=9", false, "portal.example", "/shop/cart/x");            // replaces a=1
    struct Row {
        const char* host;
        const char* path;
        const char* header;
    };
    const Row rows[] = {
        {"portal.example", "/shop/cart", "a=9; b=2"},
        {"PORTAL.example", "/shop/cart/more", "a=9; b=2"},
        {"portal.example", "/shop/cartoon", "b=2"},
        {"www.portal.example", "/shop/cart", "b=2"},
        {"other.example", "/", ""},
        {"example", "/", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(store.Header(r.host, r.path), r.header) << r.host << r.path;

    EXPECT_EQ(net::CookieStore::ParseDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(net::CookieStore::ParseDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
    EXPECT_EQ(net::CookieStore::ParseDate("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(net::CookieStore::ParseDate("soon"), -1);
}

TEST(HttpClientTest, LongHeaderLinesAreFoldedAtWhiteSpace) {
    HttpStub server;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "cookie" + std::to_string(i);
        server.respond("HTTP/1.1 200 OK\r\nSet-Cookie: " + name + "=value" + std::to_string(i) +
                       "\r\nContent-Length: 0\r\n\r\n");
    }
    server.respond("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    net::HttpClient client;
    for (int i = 0; i < 9; ++i)
        client.Get(url(server, "/"));
    const std::string raw = server.requests().back().raw;
    const std::string expected =
        "Cookie: cookie0=value0; cookie1=value1; cookie2=value2; "
        "cookie3=value3;\r\n"
        " cookie4=value4; cookie5=value5; cookie6=value6; cookie7=value7\r\n";
    EXPECT_NE(raw.find(expected), std::string::npos) << raw;

    EXPECT_EQ(net::foldHeader("Host: short"), "Host: short");
    const std::string unbroken = "X: " + std::string(100, 'x');
    EXPECT_EQ(net::foldHeader(unbroken), unbroken) << "nowhere to fold";
    EXPECT_EQ(net::foldHeader("X: " + std::string(90, 'a') + " b c"),
              "X: " + std::string(90, 'a') + "\r\n b c");
}

TEST(HttpClientTest, NetworkFailuresRaiseTheirTexts) {
    net::HttpClient client;
    EXPECT_EQ(test::errorText<ESocketError>([&] {
                  client.Get("http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/");
              }),
              "Socket-Fehler # " + std::to_string(test::kConnRefused) +
                  "\r\nVerbindung abgelehnt.");

    platform::setFaultHook(
        [](const char* c) { return std::strcmp(c, "getaddrinfo") ? 0 : test::kHostNotFound; });
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Get("http://portal.example/"); }),
              "Socket-Fehler # " + std::to_string(test::kHostNotFound) +
                  "\r\nHost nicht gefunden.");
    platform::setFaultHook(nullptr);

    HttpStub server;
    server.respond("", Then::Close);
    server.respond("\r\n\r\n", Then::Close);
    server.respond("HTTP/1.1 200 OK\r\nX-Long: " + std::string(20000, 'z') + "\r\n\r\n");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(test::errorText<EProtocolError>([&] { client.Get(url(server, "/")); }),
                  "Die Verbindung wurde erfolgreich geschlossen.");
    EXPECT_EQ(test::errorText<EProtocolError>([&] { client.Get(url(server, "/")); }),
              "Max. Zeilenlänge überschritten.");
    EXPECT_FALSE(client.Connected());
}

TEST(HttpClientTest, AbortEndsAWaitWithoutLimit) {
    HttpStub server;
    // A success whose body only ends when the server closes, which it never does.
    server.respond("HTTP/1.1 200 OK\r\n\r\nsome");
    net::HttpClient client;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.Abort();
    });
    EXPECT_EQ(test::errorText<ESocketError>([&] { client.Get(url(server, "/")); }),
              "Socket-Fehler # " + std::to_string(ECANCELED) +
                  "\r\nDer Vorgang wurde abgebrochen.");
    stopper.join();
    EXPECT_FALSE(client.Connected());
    client.ResetAbort();
    server.respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    EXPECT_EQ(client.Get(url(server, "/")), "ok");
}

} // namespace
} // namespace corvana
