#include "net/ftpsession.h"

#include "util/errors.h"
#include "util/settings.h"

#include <cerrno>

namespace corvana::net {
namespace {

bool cancelled(const std::exception& e) {
    const auto* s = dynamic_cast<const ESocketError*>(&e);
    return s && s->osError == ECANCELED;
}

} // namespace

void TFtpSession::UseCodeServer() {
    Client.Host = settings::codeServerHost();
    Client.Port = static_cast<uint16_t>(settings::codeServerPort());
    Client.Username = settings::kCodeServerUser;
    Client.Password = settings::kCodeServerPassword;
}

bool TFtpSession::ChangeDirectory(const std::string& Path) {
    try {
        Client.ChangeDirectory(Path);
        return true;
    } catch (const std::exception& e) {
        if (cancelled(e))
            throw;
        return false;
    }
}

const StringList& TFtpSession::ListFiles() {
    Client.List(Listing);
    return Listing;
}

bool TFtpSession::Download(const std::string& RemoteName, const std::string& LocalPath,
                           bool Overwrite) {
    LastError.clear();
    try {
        Client.Retrieve(RemoteName, LocalPath, Overwrite);
        return true;
    } catch (const std::exception& e) {
        if (cancelled(e))
            throw;
        LastError = e.what();
        return false;
    }
}

} // namespace corvana::net
