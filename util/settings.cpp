#include "util/settings.h"

#include <cstdlib>

namespace corvana::settings {
namespace {

std::string fromEnv(const char* name, const char* fixed) {
    const char* v = std::getenv(name);
    return v && *v ? v : fixed;
}

} // namespace

std::string portalHostGerman() { return fromEnv("CORVANA_PORTAL_HOST_DE", "www.corvana-halvern.de"); }

std::string portalHostInternational() {
    return fromEnv("CORVANA_PORTAL_HOST_INT", "www.corvana-halvern.com");
}

std::string codeServerHost() { return fromEnv("CORVANA_CODE_SERVER", "192.0.2.21"); }

int codeServerPort() {
    const std::string p = fromEnv("CORVANA_CODE_SERVER_PORT", "21");
    const int n = std::atoi(p.c_str());
    return n > 0 && n < 65536 ? n : 21;
}

} // namespace corvana::settings
