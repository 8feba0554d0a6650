#pragma once
// One seam around the system calls the logic libraries make: EINTR is retried here and
// nowhere else, and a test can make any call fail with a chosen errno.

#include <cerrno>
#include <cstddef>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
// The open() flags of POSIX that the Windows run-time library lacks, honoured by
// sysio_win32.cpp with the Windows means: no inheritance by child processes, no following of
// a link (reparse point), directories only. Non-blocking and controlling-terminal flags have
// nothing to do there. Files are always opened in binary mode.
#include <fcntl.h>
#define O_CLOEXEC _O_NOINHERIT
#define O_NOFOLLOW 0x01000000
#define O_NONBLOCK 0x02000000
#define O_NOCTTY 0x04000000
#define O_DIRECTORY 0x08000000
// timegm() is _mkgmtime() there.
#include <ctime>
inline time_t timegm(struct tm* t) {
    return ::_mkgmtime(t);
}
#endif

struct pollfd;
struct termios;

namespace corvana::platform {

// Consulted before each wrapped call with the call's name ("read", "write", "open", ...).
// Returns the errno the call should fail with, or 0 to let it run.
// One hook for file and socket calls alike (the socket calls are named "getaddrinfo",
// "socket", "connect", "bind", "listen", "accept", "send", "recv").
using FaultHook = std::function<int(const char* call)>;
void setFaultHook(FaultHook hook);
// The errno the hook chooses for `call`, or 0.
int injectedFault(const char* call);
// True, with errno set, when the hook fails `call`.
bool injected(const char* call);

// Runs `f` again while it fails with EINTR (a result < 0 and errno EINTR).
template <typename F> auto retryEintr(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r < 0 && errno == EINTR);
    return r;
}

int open(const char* path, int flags, mode_t mode = 0);
int close(int fd);
ssize_t read(int fd, void* buf, size_t len);
ssize_t write(int fd, const void* buf, size_t len);
// Writes all of `buf`; false with errno set on failure.
bool writeAll(int fd, const void* buf, size_t len);
#ifndef _WIN32
// poll() that retries EINTR with the remaining time; timeoutMs < 0 waits without limit.
int poll(struct pollfd* fds, unsigned long nfds, int timeoutMs);
// ioctl() with a pointer argument (or an int passed as a pointer-sized value).
int ioctl(int fd, unsigned long request, void* arg);
// Terminal attributes and queues; the `termios` is the platform's struct.
int tcgetattr(int fd, struct termios* t);
int tcsetattr(int fd, int action, const struct termios* t);
int tcflush(int fd, int queues);
// flock() with LOCK_* operations.
int flock(int fd, int operation);
int fsync(int fd);
int rename(const char* from, const char* to);
int unlink(const char* path);
#endif
// lstat(); on Windows as far as it has it: whether the name exists, also as a dangling link.
int lstat(const char* path, struct stat* st);
// While a blocking wait of the calling thread lasts (platform::poll, and with it the socket waits
// and the serial write's), `tick` runs on that thread about every `intervalMs`: a window whose
// thread a long operation holds keeps its busy picture moving. The tick must neither wait nor
// take input. Scopes nest, the innermost ticks; other threads are not affected.
class WaitTick {
public:
    WaitTick(std::function<void()> tick, int intervalMs)
        : tick_(std::move(tick)), intervalMs_(intervalMs > 0 ? intervalMs : 1), outer_(current()) {
        current() = this;
    }
    ~WaitTick() { current() = outer_; }
    WaitTick(const WaitTick&) = delete;
    WaitTick& operator=(const WaitTick&) = delete;

    // The calling thread's innermost scope, or null.
    static const WaitTick* active() { return current(); }
    int intervalMs() const { return intervalMs_; }
    void run() const { tick_(); }

private:
    static const WaitTick*& current() {
        thread_local const WaitTick* scope = nullptr;
        return scope;
    }
    std::function<void()> tick_;
    int intervalMs_;
    const WaitTick* outer_;
};

// mkdir -p with `mode` for the levels it creates.
bool makeDirs(const std::string& dir, mode_t mode);

// The German description of a platform error number, as the tool's messages show it.
std::string errorText(int err);

} // namespace corvana::platform
