#include "platform/sysio.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace corvana::platform {
int open(const char* path, int flags, mode_t mode) {
    if (injected("open"))
        return -1;
    return retryEintr([&] { return ::open(path, flags, mode); });
}

int close(int fd) {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (injected("close")) {
        ::close(fd);
        return -1;
    }
    return ::close(fd);
}

ssize_t read(int fd, void* buf, size_t len) {
    if (injected("read"))
        return -1;
    return retryEintr([&] { return ::read(fd, buf, len); });
}

ssize_t write(int fd, const void* buf, size_t len) {
    if (injected("write"))
        return -1;
    return retryEintr([&] { return ::write(fd, buf, len); });
}

int poll(struct pollfd* fds, unsigned long nfds, int timeoutMs) {
    if (injected("poll"))
        return -1;
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    const WaitTick* tick = WaitTick::active();
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        // In slices, with the thread's tick between them.
        const bool sliced = tick && (wait < 0 || wait > tick->intervalMs());
        const int r = ::poll(fds, nfds, sliced ? tick->intervalMs() : wait);
        if (r == 0 && sliced) {
            tick->run();
            continue;
        }
        if (r >= 0 || errno != EINTR)
            return r;
    }
}

int ioctl(int fd, unsigned long request, void* arg) {
    if (injected("ioctl"))
        return -1;
    return retryEintr([&] { return ::ioctl(fd, request, arg); });
}

int tcgetattr(int fd, struct termios* t) {
    if (injected("tcgetattr"))
        return -1;
    return retryEintr([&] { return ::tcgetattr(fd, t); });
}

int tcsetattr(int fd, int action, const struct termios* t) {
    if (injected("tcsetattr"))
        return -1;
    return retryEintr([&] { return ::tcsetattr(fd, action, t); });
}

int tcflush(int fd, int queues) {
    if (injected("tcflush"))
        return -1;
    return retryEintr([&] { return ::tcflush(fd, queues); });
}

int flock(int fd, int operation) {
    if (injected("flock"))
        return -1;
    return retryEintr([&] { return ::flock(fd, operation); });
}

int fsync(int fd) {
    if (injected("fsync"))
        return -1;
    return retryEintr([&] { return ::fsync(fd); });
}

int rename(const char* from, const char* to) {
    if (injected("rename"))
        return -1;
    return ::rename(from, to);
}

int unlink(const char* path) {
    if (injected("unlink"))
        return -1;
    return ::unlink(path);
}

int lstat(const char* path, struct stat* st) {
    if (injected("lstat"))
        return -1;
    return ::lstat(path, st);
}

bool makeDirs(const std::string& dir, mode_t mode) {
    if (dir.empty())
        return false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const auto slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash), mode))
        return false;
    if (injected("mkdir"))
        return false;
    return ::mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

} // namespace corvana::platform
