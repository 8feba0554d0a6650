// Against a real FTP server package (pyftpdlib) on loopback: log in with the code server's
// account, list, and download a code file byte for byte in active mode.
#include "net/ftpsession.h"

#include "tests/netsupport/pyserver.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace corvana {
namespace {

const char* const kServer = R"(
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.CRITICAL)
user, password, root = sys.argv[1:4]
auth = DummyAuthorizer()
auth.add_user(user, password, root, perm="elr")
FTPHandler.authorizer = auth
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.address[1], flush=True)
server.serve_forever()
)";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(FtpRealServerTest, ListsAndDownloadsByteIdenticalInActiveMode) {
    bool anyPython = false;
    const std::string python = test::findPython("pyftpdlib", anyPython);
    if (!anyPython)
        GTEST_SKIP() << "python3 is not installed";
    ASSERT_FALSE(python.empty()) << "python3-pyftpdlib is missing (tools/deps.sh installs it)";

    test::TempDir root;
    std::string code;
    for (int i = 0; i < 3000; ++i)
        code += static_cast<char>(i * 7 % 256);
    code += "\r\n\n\r";
    root.write("QYX12345.hex", code);
    root.write("QYX99999.hex", ":00000001FF\r\n");

    test::PythonServer server(python, kServer, {"ftpHEX", "47_qmr&cd$83", root.path()});
    ASSERT_TRUE(server.ok()) << server.error();
    test::ScopedEnv host("CORVANA_CODE_SERVER", "127.0.0.1");
    test::ScopedEnv port("CORVANA_CODE_SERVER_PORT", std::to_string(server.port()));

    test::TempDir local;
    const std::string target =
        local.write("Printer.drv", "an older code file, longer than the new");
    net::TFtpSession session;
    session.UseCodeServer();
    session.Client.Connect();
    EXPECT_TRUE(session.ChangeDirectory("."));
    const StringList& listing = session.ListFiles();
    ASSERT_EQ(listing.Count(), 2);
    EXPECT_NE(listing[0].find("QYX12345.hex"), std::string::npos) << listing[0];
    EXPECT_NE(listing[1].find("QYX99999.hex"), std::string::npos) << listing[1];
    ASSERT_TRUE(session.Download("QYX12345.hex", target, true));
    EXPECT_EQ(readFile(target), code);
    EXPECT_FALSE(session.Download("QYX00000.hex", target, true));
    session.Client.Disconnect();
}

} // namespace
} // namespace corvana
