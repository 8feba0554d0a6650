// pellquin: the technician's command line. Everything it does is in cli.cpp and the libraries
// of the windows; this file sets up the process around it.
#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "device/comport.h"
#include "platform/sockets.h"
#include "tools/pellquin/cli.h"

namespace {

std::atomic<bool> interrupted{false};
std::atomic<bool> gentle{false};

// While a command stops by itself, the first signal stops the run after the block on its way
// or cancels the blocking network wait; a second one, or any outside such a span, ends the
// process at once.
void onSignal(int) {
    if (!gentle.load() || interrupted.exchange(true))
        ::_exit(corvana::cli::kInterrupted);
    corvana::sock::cancelAll();
}

int terminalColumns(int fd) {
    winsize ws{};
    if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    QCoreApplication app(argc, argv);

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    corvana::device::TComPort::SetUncaughtErrorSink([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::cerr << "pellquin: " << e.what() << '\n';
        }
    });

    corvana::cli::Io io{std::cout,
                        std::cerr,
                        ::isatty(STDERR_FILENO) == 1,
                        terminalColumns(STDERR_FILENO),
                        nullptr,
                        [] { return interrupted.load(); },
                        [](bool on) { gentle.store(on); }};
    const int rc = corvana::cli::Run(args, io);
    if (rc != corvana::cli::kInterrupted && interrupted.load())
        return corvana::cli::kInterrupted;
    return rc;
}
