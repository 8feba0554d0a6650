#include "util/settings.h"

#include <cstdlib>

// The site comes from the configure step (util/CMakeLists.txt), one place for its values.
#if !defined(CORVANA_SITE_PORTAL_HOST_DE) || !defined(CORVANA_SITE_PORTAL_HOST_INT) ||             \
    !defined(CORVANA_SITE_CODE_SERVER)
#error "the site settings are passed by util/CMakeLists.txt"
#endif

namespace corvana::settings {
namespace {

std::string fromEnv(const char* name, const char* fixed) {
    const char* v = std::getenv(name);
    return v && *v ? v : fixed;
}

} // namespace

std::string portalHostGerman() {
    return fromEnv("CORVANA_PORTAL_HOST_DE", CORVANA_SITE_PORTAL_HOST_DE);
}

std::string portalHostInternational() {
    return fromEnv("CORVANA_PORTAL_HOST_INT", CORVANA_SITE_PORTAL_HOST_INT);
}

std::string codeServerHost() {
    return fromEnv("CORVANA_CODE_SERVER", CORVANA_SITE_CODE_SERVER);
}

int codeServerPort() {
    const std::string p = fromEnv("CORVANA_CODE_SERVER_PORT", "21");
    const int n = std::atoi(p.c_str());
    return n > 0 && n < 65536 ? n : 21;
}

std::vector<SiteSetting> siteSettings() {
    return {
        {"portal, German host", "CORVANA_PORTAL_HOST_DE", CORVANA_SITE_PORTAL_HOST_DE,
         portalHostGerman()},
        {"portal, international host", "CORVANA_PORTAL_HOST_INT", CORVANA_SITE_PORTAL_HOST_INT,
         portalHostInternational()},
        {"code server", "CORVANA_CODE_SERVER", CORVANA_SITE_CODE_SERVER, codeServerHost()},
        {"code server port", "CORVANA_CODE_SERVER_PORT", "21", std::to_string(codeServerPort())},
    };
}

} // namespace corvana::settings
