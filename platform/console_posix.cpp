#include "platform/console.h"

#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace corvana::platform {
namespace {

void (*interruptHandler)() = nullptr;

void onSignal(int) {
    if (interruptHandler)
        interruptHandler();
}

} // namespace

void setUpConsole() {}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int stderrColumns() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

void onInterrupt(void (*handler)()) {
    interruptHandler = handler;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // A signal during a terminal write must not fail the write.
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

void exitNow(int code) {
    ::_exit(code);
}

} // namespace corvana::platform
