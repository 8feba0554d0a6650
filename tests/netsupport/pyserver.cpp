// What both starters of the Python servers do once the script has spoken.
#include "tests/netsupport/pyserver.h"

#include <cstdlib>
#include <thread>

namespace corvana::test {

uint16_t acceptingPort(const std::string& line, std::chrono::steady_clock::time_point deadline,
                       std::string& error) {
    const int port = std::atoi(line.c_str());
    if (port <= 0 || port > 65535) {
        error = "the server did not start (output: \"" + line + "\")";
        return 0;
    }
    // It listens before it prints, but make sure it accepts before any test talks to it.
    while (std::chrono::steady_clock::now() < deadline) {
        if (canConnect("127.0.0.1", static_cast<uint16_t>(port)))
            return static_cast<uint16_t>(port);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "the server does not accept on port " + std::to_string(port);
    return 0;
}

} // namespace corvana::test
