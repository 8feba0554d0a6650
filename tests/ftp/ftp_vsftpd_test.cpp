// Against vsftpd, the FTP server a dealer's code server may well run, on loopback with a
// configuration of the test's own: the tool's account as a virtual user (its password checked
// by a PAM service of the test's), active mode only, the codes folder as its root. vsftpd
// needs root to authenticate and to change to the virtual user's owner; CI runs as root.
#include "net/ftpsession.h"

#include "tests/netsupport/serverprocess.h"
#include "tests/support/scratchdir.h"
#include "util/errors.h"
#include "util/settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace corvana {
namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A PAM service under a name of this test's own, so that nothing of the system's changes; it
// goes again with the test. Its one account lives in a Berkeley DB file (pam_userdb), the
// usual way of vsftpd's virtual users: a PAM module that runs a program cannot serve here,
// as vsftpd reaps every child of its own.
class PamService {
public:
    PamService(const std::string& name, const std::string& db) : path_("/etc/pam.d/" + name) {
        std::ofstream out(path_);
        out << "auth required pam_userdb.so db=" << db << "\n"
            << "account required pam_userdb.so db=" << db << "\n";
        ok_ = out.good();
    }
    ~PamService() { ::unlink(path_.c_str()); }

    // Those of runs that were killed before they could take theirs away.
    static void removeStale(const std::string& prefix) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/etc/pam.d", ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) != 0)
                continue;
            const int pid = std::atoi(name.c_str() + prefix.size());
            if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
                fs::remove(e.path(), ec);
        }
    }
    bool ok() const { return ok_; }

private:
    std::string path_;
    bool ok_ = false;
};

int run(const std::vector<std::string>& argv) {
    std::string line;
    for (const auto& a : argv)
        line += "'" + a + "' ";
    return std::system(line.c_str());
}

class FtpVsftpdTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::geteuid(), 0u) << "vsftpd needs root to log a user in (CI runs as root)";
        const std::string vsftpd = test::findProgram("vsftpd");
        ASSERT_FALSE(vsftpd.empty()) << "vsftpd is missing (tools/deps.sh installs it)";

        // What the session of the virtual user (as user ftp) may read.
        fs::permissions(codes.path(), fs::perms(0755));
        for (int i = 0; i < 40000; ++i)
            code += static_cast<char>(i * 7 % 256);
        code.append("\r\n\n\r\0", 5);
        codes.write("PQD_12345.hex", code);
        codes.write("PQT_10000.hex", ":00000001FF\r\n");

        ASSERT_NE(::getpwnam("ftp"), nullptr)
            << "no user 'ftp' for vsftpd's virtual users (the vsftpd package makes it)";
        ASSERT_FALSE(test::findProgram("perl").empty()) << "perl is missing";
        const std::string db = work.file("accounts");
        ASSERT_EQ(run({"perl", "-MDB_File", "-MFcntl", "-e",
                       "tie my %h, 'DB_File', $ARGV[0], O_RDWR|O_CREAT, 0600, $DB_HASH or die $!;"
                       " $h{$ARGV[1]} = $ARGV[2]",
                       db + ".db", settings::kCodeServerUser, settings::kCodeServerPassword}),
                  0)
            << "cannot write the account file";
        PamService::removeStale("corvana-test-vsftpd-");
        const std::string service = "corvana-test-vsftpd-" + std::to_string(::getpid());
        pam = std::make_unique<PamService>(service, db);
        ASSERT_TRUE(pam->ok()) << "cannot write /etc/pam.d/" << service;
        const std::string empty = work.file("empty");
        fs::create_directory(empty);
        fs::permissions(empty, fs::perms(0755));

        log = work.file("vsftpd.log");
        for (int attempt = 0; attempt < 5 && !(server && server->ok()); ++attempt) {
            port = test::freeLoopbackPort();
            const std::string conf = work.write(
                "vsftpd.conf", "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                               "listen_port=" +
                                   std::to_string(port) +
                                   "\nbackground=NO\n"
                                   "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=NO\n"
                                   "guest_enable=YES\nguest_username=ftp\n"
                                   "virtual_use_local_privs=YES\nlocal_root=" +
                                   codes.path() +
                                   "\n"
                                   "pam_service_name=" +
                                   service +
                                   "\n"
                                   "secure_chroot_dir=" +
                                   empty +
                                   "\n"
                                   // active mode only, the data connection from any port
                                   "pasv_enable=NO\nport_enable=YES\nconnect_from_port_20=NO\n"
                                   "xferlog_enable=YES\nxferlog_std_format=NO\n"
                                   "log_ftp_protocol=YES\nvsftpd_log_file=" +
                                   log + "\n");
            server = std::make_unique<test::ServerProcess>(std::vector<std::string>{vsftpd, conf},
                                                           port, work.file("vsftpd.out"));
        }
        ASSERT_TRUE(server->ok()) << server->error();
    }

    std::string protocolLog() { return readFile(log); }

    test::TempDir codes, work, local;
    std::string code, log;
    uint16_t port = 0;
    std::unique_ptr<PamService> pam;
    std::unique_ptr<test::ServerProcess> server;
};

TEST_F(FtpVsftpdTest, TheWizardsSessionListsAndDownloadsByteForByte) {
    test::ScopedEnv host("CORVANA_CODE_SERVER", "127.0.0.1");
    test::ScopedEnv portEnv("CORVANA_CODE_SERVER_PORT", std::to_string(port));
    const std::string target = local.write("Printer.drv", std::string(50000, 'x'));

    net::TFtpSession session;
    test::AbortAfter watchdog(session.Client);
    session.UseCodeServer();
    session.Client.Connect();
    EXPECT_TRUE(session.ChangeDirectory("."));
    const StringList& listing = session.ListFiles();
    ASSERT_EQ(listing.Count(), 2);
    EXPECT_NE(listing[0].find("PQD_12345.hex"), std::string::npos) << listing[0];
    EXPECT_NE(listing[1].find("PQT_10000.hex"), std::string::npos) << listing[1];
    EXPECT_NE(listing[0].find(std::to_string(code.size())), std::string::npos) << listing[0];
    ASSERT_TRUE(session.Download("PQD_12345.hex", target, true));
    EXPECT_EQ(readFile(target), code);
    EXPECT_TRUE(session.Download("PQT_10000.hex", target, true));
    EXPECT_EQ(readFile(target), ":00000001FF\r\n");
    session.Client.Disconnect();

    // Active mode, binary: what vsftpd was told.
    const std::string seen = protocolLog();
    EXPECT_NE(seen.find("\"TYPE I\""), std::string::npos) << seen;
    EXPECT_NE(seen.find("\"PORT 127,0,0,1,"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("\"PASV\""), std::string::npos) << seen;
    EXPECT_NE(seen.find("OK DOWNLOAD"), std::string::npos) << seen;
}

TEST_F(FtpVsftpdTest, AMissingFileIsARefusalAndLeavesAnEmptyLocalFile) {
    net::FtpClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Username = settings::kCodeServerUser;
    client.Password = settings::kCodeServerPassword;
    test::AbortAfter watchdog(client);
    client.Connect();
    const std::string target = local.write("Printer.drv", "an older code file");
    try {
        client.Retrieve("PQD_99999.hex", target, true);
        FAIL() << "no error";
    } catch (const EReplyError& e) {
        EXPECT_EQ(e.replyCode, 550) << e.what();
    }
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(fs::file_size(target), 0u);
    // The control connection stays ready for the next file.
    client.Retrieve("PQD_12345.hex", target, true);
    EXPECT_EQ(readFile(target), code);
    client.Disconnect();
}

TEST_F(FtpVsftpdTest, AWrongPasswordIsRefusedAndTheConnectionClosed) {
    net::FtpClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Username = settings::kCodeServerUser;
    client.Password = "not the password";
    test::AbortAfter watchdog(client);
    try {
        client.Connect();
        FAIL() << "logged in with a wrong password";
    } catch (const EReplyError& e) {
        EXPECT_EQ(e.replyCode, 530) << e.what();
    }
    EXPECT_FALSE(client.Connected());
}

} // namespace
} // namespace corvana
