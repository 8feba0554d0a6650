// Against a real HTTP server (Python's http.server) on loopback: a file byte for byte, a
// missing one as the protocol error with the server's status line.
#include "net/httpclient.h"

#include "tests/netsupport/pyserver.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

namespace corvana {
namespace {

const char* const kServer = R"(
import functools, http.server, sys
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
handler = functools.partial(Quiet, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)";

TEST(HttpRealServerTest, FetchesAFileAndReportsAMissingOne) {
    bool anyPython = false;
    const std::string python = test::findPython("http.server", anyPython);
    if (!anyPython)
        GTEST_SKIP() << "python3 is not installed";
    ASSERT_FALSE(python.empty());

    test::TempDir root;
    std::string page;
    for (int i = 0; i < 5000; ++i)
        page += static_cast<char>(i * 13 % 256);
    root.write("Statistik.aspx", page);

    test::PythonServer server(python, kServer, {root.path()});
    ASSERT_TRUE(server.ok()) << server.error();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());

    net::HttpClient client;
    EXPECT_EQ(client.Get(base + "/Statistik.aspx?QYX=QYX12345-PQ"), page);
    try {
        client.Get(base + "/Corvana/missing.aspx");
        FAIL() << "no error";
    } catch (const net::EHttpProtocolError& e) {
        EXPECT_EQ(e.statusCode, 404);
        EXPECT_EQ(std::string(e.what()).substr(0, 13), "HTTP/1.0 404 ") << e.what();
    }
    // The server closes after each response; the next call opens a new connection.
    EXPECT_EQ(client.Get(base + "/Statistik.aspx"), page);
}

} // namespace
} // namespace corvana
