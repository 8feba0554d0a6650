// Any bytes as what an FTP server says on the control connection: the greeting and the
// answers to the login and to a series of directory changes, read by the client's own reply
// reader (single and multi-line replies, blank lines, the line limit, the cap on a reply's
// text). Whatever arrives, the client either raises one of its own errors or goes on, keeps
// a reply within its bounds, and stops reading once the connection has failed.
#include "fuzz_check.h"
#include "net/ftpclient.h"
#include "scripted_peer.h"
#include "util/errors.h"

#include <cstdint>
#include <string>

using namespace corvana;
using corvana::fuzz::check;

namespace {

void checkReply(const net::FtpReply& r) {
    check(r.Code >= 0 && r.Code <= 999);
    size_t total = 0;
    for (const auto& line : r.Text) {
        check(line.size() <= net::kMaxLineLength);
        check(line.find('\n') == std::string::npos);
        total += line.size();
    }
    // The text stops growing past 1 MB; the line that crossed it is the last one kept.
    check(total <= net::kMaxReplyText + net::kMaxLineLength);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScriptedPeer peer(data, size);
    net::FtpClient ftp;
    ftp.Host = "127.0.0.1";
    ftp.Username = "ftpHEX";
    ftp.Password = "secret";
    try {
        ftp.Connect();
    } catch (const Exception&) {
        check(!ftp.Connected());
        checkReply(ftp.LastReply());
        return 0;
    }
    checkReply(ftp.LastReply());
    // Every directory change reads one reply; a refusal leaves the connection usable.
    for (int i = 0; i < 64 && ftp.Connected(); ++i) {
        try {
            ftp.ChangeDirectory(".");
            const int code = ftp.LastReply().Code;
            check(code == 200 || code == 250);
        } catch (const EReplyError& e) {
            check(ftp.Connected());
            check(e.replyCode != 200 && e.replyCode != 250);
        } catch (const Exception&) {
            check(!ftp.Connected());
        }
        checkReply(ftp.LastReply());
    }
    check(peer.connects() == 1);
    return 0;
}
