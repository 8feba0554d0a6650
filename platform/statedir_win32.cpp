#include "platform/statedir.h"

#include <cstdlib>

#include "platform/sysio.h"

namespace corvana::platform {

std::string userStateDirectory() {
    std::string dir;
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x)
        dir = x;
    else if (const char* l = std::getenv("LOCALAPPDATA"); l && *l)
        dir = l;
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/'))
        dir.pop_back();
    return dir;
}

bool makePrivateDirectory(const std::string& dir) {
    return platform::makeDirs(dir, 0700);
}

bool localCalendarTime(std::time_t t, std::tm& out) {
    return ::localtime_s(&out, &t) == 0;
}

} // namespace corvana::platform
