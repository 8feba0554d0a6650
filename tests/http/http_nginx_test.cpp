// Against nginx, a web server a portal may well run behind, on loopback with a configuration
// of the test's own, serving the statistics page the completion report asks for: a page with
// a body, an empty one, a redirect, a missing page, a body nginx sends in chunks (server-side
// includes make its length unknown beforehand), and two reports over one kept-alive
// connection, as nginx's own access log records them.
#include "net/httpclient.h"

#include "tests/netsupport/loopback.h"
#include "tests/netsupport/serverprocess.h"
#include "tests/support/scratchdir.h"
#include "util/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace corvana {
namespace {

namespace fs = std::filesystem;

const char* const kSession = "/(S(e2ezqkwbxnaslmd0cryt4uvj))";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class HttpNginxTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string nginx = test::findProgram("nginx");
        ASSERT_FALSE(nginx.empty()) << "nginx is missing (tools/deps.sh installs it)";

        // As root nginx serves as nobody: the pages must be readable for it.
        fs::permissions(pages.path(), fs::perms(0755));
        for (int i = 0; i < 20000; ++i)
            page += static_cast<char>(i * 13 % 256);
        pages.write("statistik.html", page);
        pages.write("empty.html", "");
        pages.write("chunked.html", "<p>gemeldet: <!--# echo var=\"arg_QYX\" --></p>\n" +
                                        std::string(9000, 'z') + "\n");
        fs::create_directory(work.file("tmp"));

        for (int attempt = 0; attempt < 5 && !(server && server->ok()); ++attempt) {
            port = test::freeLoopbackPort();
            const std::string w = work.path();
            const std::string conf = work.write(
                "nginx.conf",
                "daemon off;\nworker_processes 1;\npid " + w + "/nginx.pid;\nerror_log " + w +
                    "/error.log info;\n" + (::geteuid() == 0 ? "user nobody nogroup;\n" : "") +
                    "events { worker_connections 64; }\n"
                    "http {\n"
                    "  log_format conn '$connection $connection_requests \"$request\" $status';\n"
                    "  access_log " +
                    w +
                    "/access.log conn;\n"
                    "  client_body_temp_path " +
                    w + "/tmp/body;\n  proxy_temp_path " + w + "/tmp/proxy;\n" +
                    "  fastcgi_temp_path " + w + "/tmp/fastcgi;\n  uwsgi_temp_path " + w +
                    "/tmp/uwsgi;\n  scgi_temp_path " + w + "/tmp/scgi;\n" +
                    "  default_type text/html;\n"
                    "  server {\n"
                    "    listen 127.0.0.1:" +
                    std::to_string(port) +
                    ";\n"
                    "    root " +
                    pages.path() +
                    ";\n"
                    "    location ~ ^/Corvana/.*/Statistik\\.aspx$ {\n"
                    "      rewrite ^ /statistik.html break;\n    }\n"
                    "    location ~ ^/empty/.*/Statistik\\.aspx$ {\n"
                    "      rewrite ^ /empty.html break;\n    }\n"
                    "    location ~ ^/moved/.*/Statistik\\.aspx$ {\n"
                    "      return 302 /Default.aspx;\n    }\n"
                    "    location ~ ^/chunked/.*/Statistik\\.aspx$ {\n"
                    "      ssi on;\n      rewrite ^ /chunked.html break;\n    }\n"
                    "  }\n"
                    "}\n");
            server = std::make_unique<test::ServerProcess>(
                std::vector<std::string>{nginx, "-c", conf, "-p", w}, port, work.file("nginx.out"));
        }
        ASSERT_TRUE(server->ok()) << server->error();
        base = "http://127.0.0.1:" + std::to_string(port);
    }

    std::string url(const std::string& area) {
        return base + area + kSession + "/Statistik.aspx?QYX=QYX12345-PQ";
    }

    // What nginx logged: connection number, request on it, request line, status.
    std::vector<std::string> accessLog() {
        std::vector<std::string> lines;
        std::istringstream in(readFile(work.file("access.log")));
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }

    test::TempDir pages, work;
    std::string page, base;
    uint16_t port = 0;
    std::unique_ptr<test::ServerProcess> server;
};

TEST_F(HttpNginxTest, ThePageWithABodyByteForByte) {
    net::HttpClient client;
    test::AbortAfter watchdog(client);
    EXPECT_EQ(client.Get(url("/Corvana")), page);
    EXPECT_EQ(client.ResponseCode(), 200);
}

TEST_F(HttpNginxTest, AnEmptyPageIsTheEmptyText) {
    net::HttpClient client;
    test::AbortAfter watchdog(client);
    EXPECT_EQ(client.Get(url("/empty")), "");
    EXPECT_EQ(client.ResponseCode(), 200);
}

TEST_F(HttpNginxTest, ARedirectAndAMissingPageAreProtocolErrors) {
    net::HttpClient client;
    test::AbortAfter watchdog(client);
    const std::vector<std::pair<std::string, int>> cases{{"/moved", 302}, {"/nowhere", 404}};
    for (const auto& [area, code] : cases) {
        try {
            client.Get(url(area));
            ADD_FAILURE() << area << ": no error";
        } catch (const net::EHttpProtocolError& e) {
            EXPECT_EQ(e.statusCode, code) << e.what();
            EXPECT_EQ(std::string(e.what()).substr(0, 13), "HTTP/1.1 " + std::to_string(code) + " ")
                << e.what();
            EXPECT_NE(e.ResponseBody.find("nginx"), std::string::npos) << e.ResponseBody;
        }
    }
    // The redirect was not followed.
    for (const auto& line : accessLog())
        EXPECT_EQ(line.find("Default.aspx"), std::string::npos) << line;
}

TEST_F(HttpNginxTest, AChunkedBody) {
    // That nginx does chunk this page, asked as the client asks.
    const test::SocketFd raw = test::connectTo("127.0.0.1", port);
    ASSERT_NE(raw, test::kNoSocket);
    ASSERT_TRUE(test::sendAll(raw, "GET /chunked" + std::string(kSession) +
                                       "/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1\r\n"
                                       "Host: 127.0.0.1\r\nConnection: close\r\n\r\n"));
    std::string head;
    char buf[4096];
    for (long n; head.find("\r\n\r\n") == std::string::npos &&
                 (n = test::receiveSome(raw, buf, sizeof buf)) > 0;)
        head.append(buf, static_cast<size_t>(n));
    test::closeSocket(raw);
    head = head.substr(0, head.find("\r\n\r\n"));
    EXPECT_NE(head.find("\r\nTransfer-Encoding: chunked"), std::string::npos) << head;
    EXPECT_EQ(head.find("Content-Length"), std::string::npos) << head;

    net::HttpClient client;
    test::AbortAfter watchdog(client);
    EXPECT_EQ(client.Get(url("/chunked")),
              "<p>gemeldet: QYX12345-PQ</p>\n" + std::string(9000, 'z') + "\n");
}

TEST_F(HttpNginxTest, TwoReportsInARowOverOneConnection) {
    net::HttpClient client;
    test::AbortAfter watchdog(client);
    EXPECT_EQ(client.Get(url("/Corvana")), page);
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.Get(base + "/Corvana" + kSession + "/Statistik.aspx?QYX=QYX67890-PQ"), page);
    client.Disconnect();
    // nginx writes its log line after each response: wait for the second one.
    std::vector<std::string> log;
    for (int i = 0; i < 100 && (log = accessLog()).size() < 2; ++i)
        usleep(50000);
    ASSERT_EQ(log.size(), 2u);
    const std::regex line(R"((\d+) (\d+) "GET (\S+) HTTP/1.1" 200)");
    std::smatch first, second;
    ASSERT_TRUE(std::regex_match(log[0], first, line)) << log[0];
    ASSERT_TRUE(std::regex_match(log[1], second, line)) << log[1];
    EXPECT_EQ(first[1], second[1]) << "two connections: " << log[0] << " / " << log[1];
    EXPECT_EQ(first[2], "1");
    EXPECT_EQ(second[2], "2");
    EXPECT_EQ(second[3], std::string("/Corvana") + kSession + "/Statistik.aspx?QYX=QYX67890-PQ");
}

} // namespace
} // namespace corvana
