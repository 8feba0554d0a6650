#include "platform/privatetempdir.h"

#include "platform/privatedir_posix.h"
#include "platform/sysio.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace corvana::platform {

bool isOwnPrivateDirectory(const std::string& dir) {
    const int fd = platform::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 077) != 0)
        ok = ::fchmod(fd, 0700) == 0;
    const int err = errno;
    platform::close(fd);
    if (!ok)
        errno = err != 0 ? err : EACCES;
    return ok;
}

std::string tempBase() {
    std::string base = "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env)
        base = env;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

std::string privateTempDirectory() {
    const std::string base = tempBase();
    if (!platform::makeDirs(base, 0700))
        return {};
    const std::string dir = base + "/corvana-" + std::to_string(::geteuid());
    errno = 0;
    if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) {
        if (isOwnPrivateDirectory(dir))
            return dir;
    }

    // The fixed name is taken by something we may not use: keep to a directory of our own.
    static std::mutex lock;
    static std::string fallback;
    const std::lock_guard<std::mutex> guard(lock);
    if (!fallback.empty() && isOwnPrivateDirectory(fallback))
        return fallback;
    std::string tmpl = dir + "-XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        return {};
    fallback = tmpl;
    return fallback;
}

std::string userTempDirectory() {
    const std::string dir = privateTempDirectory();
    return dir.empty() ? dir : dir + "/";
}

int createFileNoFollow(const std::string& path) {
    // No O_TRUNC yet: nothing is emptied before we know it is a regular file. O_NONBLOCK keeps
    // a FIFO from blocking the open.
    const int fd = platform::open(
        path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return -1;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = EINVAL;
    else if (::ftruncate(fd, 0) != 0)
        err = errno;
    else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
            err = errno;
    }
    if (err != 0) {
        platform::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

} // namespace corvana::platform
