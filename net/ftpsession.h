#pragma once
// The FTP session of one code-file download: one client and the listing it fetched, both
// created and released with the session. The wizard's download handler runs it as
//
//   TFtpSession session;                 // released on every way out of the handler
//   session.UseCodeServer();
//   session.Client.Connect();            // errors reach the default error display
//   if (!session.ChangeDirectory(settings::kCodeServerDirectory)) ...   // "Fehler(1)"
//   ... session.ListFiles() ...          // errors are not caught
//   if (!session.Download(eArtNR, localPath, true)) ...                 // file not found
//   ... load, programme, close the port, delete the local file ...
//   session.Client.Disconnect();
//
// ChangeDirectory and Download swallow every error except a cancellation (the socket error
// for ECANCELED), which passes through so that a tool being closed does not go on to show
// messages.

#include "net/ftpclient.h"
#include "util/stringlist.h"

#include <string>

namespace corvana::net {

class TFtpSession {
public:
    FtpClient Client;
    StringList Listing;

    TFtpSession() = default;
    // Releasing the client closes an open control connection without sending anything.
    ~TFtpSession() = default;
    TFtpSession(const TFtpSession&) = delete;
    TFtpSession& operator=(const TFtpSession&) = delete;

    // The code server with the fixed account: Host, Port, Username and Password of Client.
    void UseCodeServer();

    // True when the server changed into `Path`; false on any error.
    bool ChangeDirectory(const std::string& Path);
    // The server's listing, kept in Listing (owned by the session).
    const StringList& ListFiles();
    // True when `RemoteName` arrived complete in `LocalPath`; false on any error.
    bool Download(const std::string& RemoteName, const std::string& LocalPath, bool Overwrite);

    // Why the last Download returned false (the error's text); empty after a success.
    std::string LastError;
};

} // namespace corvana::net
