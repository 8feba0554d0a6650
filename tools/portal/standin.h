#pragma once
// Starts the portal stand-in (portal.py) for a test or a benchmark and stops it again.

#include <string>
#include <sys/types.h>
#include <vector>

namespace corvana::tools {

class PortalStandIn {
public:
    // Starts `python3 portal.py <args>` on a free loopback port; throws when it does not
    // come up.
    explicit PortalStandIn(const std::vector<std::string>& args = {});
    ~PortalStandIn();
    PortalStandIn(const PortalStandIn&) = delete;
    PortalStandIn& operator=(const PortalStandIn&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>", for CORVANA_PORTAL_HOST_INT / _DE.
    std::string host() const;
    // The request lines it has got so far, oldest first.
    std::vector<std::string> requests() const;
    // Forgets them.
    void reset() const;

private:
    void stop();
    std::string get(const std::string& method, const std::string& path) const;

    pid_t pid_ = -1;
    int port_ = 0;
};

// Where portal.py lives.
std::string portalScript();

} // namespace corvana::tools
