#include "platform/statedir.h"

#include <cstdlib>

#include "platform/privatedir_posix.h"
#include "platform/sysio.h"

namespace corvana::platform {

std::string userStateDirectory() {
    std::string dir;
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x)
        dir = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        dir = std::string(h) + "/.local/state";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

bool makePrivateDirectory(const std::string& dir) {
    return platform::makeDirs(dir, 0700) && isOwnPrivateDirectory(dir);
}

bool localCalendarTime(std::time_t t, std::tm& out) {
    return ::localtime_r(&t, &out) != nullptr;
}

} // namespace corvana::platform
