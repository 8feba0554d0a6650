// The German descriptions of the C library's error numbers, the same on every platform.
#include "platform/sysio.h"

#include <cerrno>
#include <cstring>

namespace corvana::platform {

std::string errorText(int err) {
    switch (err) {
    case ECONNREFUSED:
        return "Verbindung abgelehnt.";
    case ETIMEDOUT:
        return "Zeitüberschreitung bei der Verbindung.";
    case ECONNRESET:
        return "Die Verbindung wurde vom Kommunikationspartner zurückgesetzt.";
    case EHOSTUNREACH:
        return "Keine Route zum Host.";
    case ENETUNREACH:
        return "Das Netzwerk ist nicht erreichbar.";
    case EADDRINUSE:
        return "Die Adresse wird bereits verwendet.";
    case EADDRNOTAVAIL:
        return "Die angeforderte Adresse ist nicht verfügbar.";
    case EPIPE:
        return "Die Verbindung wurde unterbrochen.";
    case ENOENT:
        return "Das System kann die angegebene Datei nicht finden.";
    case EACCES:
    case EPERM:
        return "Zugriff verweigert.";
    case EBUSY:
        return "Das Gerät ist belegt.";
    case EIO:
        return "E/A-Fehler.";
    case ENODEV:
    case ENXIO:
        return "Das Gerät ist nicht vorhanden.";
    case EAGAIN:
        return "Die Ressource ist vorübergehend nicht verfügbar.";
    case ENOTTY:
        return "Das Gerät ist keine serielle Schnittstelle.";
    case EINVAL:
        return "Ungültiger Parameter.";
    case EBADF:
        return "Das Handle ist ungültig.";
    default:
        return std::string("Systemfehler: ") + std::strerror(err);
    }
}

} // namespace corvana::platform
