#include "shell/termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/sockets.h"

namespace corvana::ui {
namespace {

int terminationPipe[2] = {-1, -1};
volatile sig_atomic_t terminationRequested = 0;

// Only async-signal-safe calls here: the loop learns of the request through the pipe.
void onTerminationSignal(int) {
    terminationRequested = 1;
    corvana::platform::cancelAll();
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(terminationPipe[1], &byte, 1);
}

} // namespace

void InstallTerminationHandling(QObject* app) {
    if (terminationPipe[0] >= 0 || ::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char buf[16];
        while (::read(terminationPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::exit(0);
    });
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

bool TerminationRequested() {
    return terminationRequested != 0;
}

void ClearTerminationRequest() {
    terminationRequested = 0;
}

} // namespace corvana::ui
