#include "util/tempfileerrors.h"

#include <cerrno>

namespace corvana {

std::string GetTempDirectory() {
    errno = 0;
    const std::string dir = platform::userTempDirectory();
    if (dir.empty())
        throw InOutError(errno != 0 ? errno : EACCES);
    return dir;
}

EInOutError InOutError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return EInOutError("Datei nicht gefunden", err);
    case EACCES:
    case EPERM:
        return EInOutError("Dateizugriff verweigert", err);
    default:
        return EInOutError("E/A-Fehler " + std::to_string(err), err);
    }
}

} // namespace corvana
