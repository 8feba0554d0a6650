// The OS-neutral part of the system-call seam: the fault hook and what is built on the calls.
#include "platform/sysio.h"

#include <cerrno>

namespace corvana::platform {
namespace {

FaultHook& hook() {
    static FaultHook h;
    return h;
}

} // namespace

void setFaultHook(FaultHook h) {
    hook() = std::move(h);
}

int injectedFault(const char* call) {
    return hook() ? hook()(call) : 0;
}

bool injected(const char* call) {
    if (const int err = injectedFault(call)) {
        errno = err;
        return true;
    }
    return false;
}

bool writeAll(int fd, const void* buf, size_t len) {
    auto* p = static_cast<const char*>(buf);
    while (len > 0) {
        const ssize_t n = write(fd, p, len);
        if (n < 0)
            return false;
        p += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace corvana::platform
