#pragma once
// The FTP client of the code-file download: one control connection, a fixed login, binary
// transfers over data connections that the client offers (active mode, PORT, IPv4 only), a
// directory listing and the retrieval of one file into a local file.
//
// Every operation blocks the calling thread, and the waits for replies and for the server's
// data connection have no time limit. They end at once, with the socket error for ECANCELED,
// when Abort() is called (from a signal handler or another thread) or when the process-wide
// platform::cancelAll() is raised; the control connection is then closed.

#include "net/netio.h"
#include "platform/sockets.h"
#include "util/stringlist.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace corvana::net {

// One reply: the number of its first three characters (0 when they are not digits) and one
// text line per reply line, each without its first four characters.
struct FtpReply {
    int Code = 0;
    std::vector<std::string> Text;
};

// Told every line of the control connection's dialogue as it passes (a run log). It only
// watches; a line is told after it was sent, a reply line once it was read.
class FtpObserver {
public:
    virtual ~FtpObserver() = default;
    virtual void FtpSent(const std::string& line) = 0;
    virtual void FtpReceived(const std::string& line) = 0;
};

class FtpClient {
public:
    // Settings, set before Connect.
    std::string Host;
    uint16_t Port = 21;
    std::string Username;
    std::string Password;

    FtpClient();
    // Closes an open control connection without sending anything.
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Greeting, USER (PASS on 331), TYPE I, SYST. On any failure the connection is closed again.
    void Connect();
    void ChangeDirectory(const std::string& Path);
    // Replaces the lines of `Dest` with the server's listing of its working directory.
    void List(StringList& Dest);
    // Copies the server file into `LocalPath`, created or truncated (never through a symbolic
    // link); the file keeps whatever arrived when the transfer fails.
    void Retrieve(const std::string& RemoteName, const std::string& LocalPath, bool Overwrite);
    // Closes the control connection; no QUIT is ever sent.
    void Disconnect();

    bool Connected() const { return control_.valid(); }
    // nullptr for none; not owned.
    void SetObserver(FtpObserver* observer) { observer_ = observer; }

    // The listing's text cut into lines at CR LF, LF or CR, as List cuts what arrives.
    static void SplitListing(const std::string& text, StringList& dest);
    const FtpReply& LastReply() const { return last_; }

    // Ends the blocking operation in progress, or the next one, with the socket error for
    // ECANCELED. Async-signal-safe and callable from any thread; stays in force until
    // ResetAbort().
    void Abort() noexcept { cancel_.trigger(); }
    void ResetAbort() noexcept { cancel_.clear(); }

private:
    using Sink = std::function<void(const char*, size_t)>;

    void requireConnected() const;
    void send(const std::string& line);
    std::string nextLine();
    const FtpReply& readReply();
    const FtpReply& check(std::initializer_list<int> accepted);
    const FtpReply& command(const std::string& line, std::initializer_list<int> accepted);
    void transfer(const std::string& cmd, const Sink& sink);
    bool awaitDataConnection(const platform::Socket& listener, platform::Socket& data,
                             bool& replied);
    void finishTransfer();
    void collectOwedReply() noexcept;
    void dropControl() noexcept;

    platform::Socket control_;
    net::Reader reader_;
    platform::Canceller cancel_;
    FtpReply last_;
    FtpObserver* observer_ = nullptr;
};

} // namespace corvana::net
