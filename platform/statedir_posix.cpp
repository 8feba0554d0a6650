#include "platform/statedir.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (!platform::makeDirs(dir, 0700))
        return false;
    const int fd = platform::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 077) != 0)
        ok = ::fchmod(fd, 0700) == 0;
    platform::close(fd);
    return ok;
}

bool localCalendarTime(std::time_t t, std::tm& out) {
    return ::localtime_r(&t, &out) != nullptr;
}

} // namespace corvana::platform
