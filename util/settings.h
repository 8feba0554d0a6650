#pragma once
// The fixed settings of the system, defined once. The tool has no configuration: the site
// (portal hosts, code server) is set when a build is configured, and only the tests and the
// demo may move the hosts to loopback stand-ins through the environment.

#include <string>
#include <vector>

namespace corvana::settings {

// Registry: the stored credentials.
inline constexpr const char* kCredentialsKey = "corvana_halvern";
inline constexpr const char* kUserIdValue = "corvana_browser_userid";
inline constexpr const char* kPasscodeValue = "corvana_browser_passcode";
inline constexpr const char* kLanguageValue = "corvana_browser_sprache";

// Portal hosts (host[:port]); CORVANA_PORTAL_HOST_DE / CORVANA_PORTAL_HOST_INT move them.
std::string portalHostGerman();
std::string portalHostInternational();

// Code server: IPv4 literal and port; CORVANA_CODE_SERVER / CORVANA_CODE_SERVER_PORT move them.
std::string codeServerHost();
int codeServerPort();

// The site settings as this build holds them (set when it is configured) and as they stand
// now, after the environment's overrides; `pellquin --version` shows them.
struct SiteSetting {
    const char* what;     // "portal, German host"
    const char* variable; // the environment variable that moves it
    std::string builtIn;
    std::string current;
};
std::vector<SiteSetting> siteSettings();

inline constexpr const char* kCodeServerUser = "ftpHEX";
inline constexpr const char* kCodeServerPassword = "47_qmr&cd$83";
inline constexpr const char* kCodeServerDirectory = ".";

// The local copy of the downloaded code file, in the private temporary directory.
inline constexpr const char* kLocalCodeFile = "Printer.drv";

// Serial line to the remote control.
inline constexpr int kBaudRate = 9600;
inline constexpr int kDataBits = 8;
inline constexpr int kStopBits = 1;

} // namespace corvana::settings
