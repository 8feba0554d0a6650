// pellquin: the technician's command line. Everything it does is in cli.cpp and the libraries
// of the windows; this file sets up the process around it.
#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "device/comport.h"
#include "device/eventpump.h"
#include "platform/console.h"
#include "platform/sockets.h"
#include "tools/pellquin/cli.h"

namespace {

std::atomic<bool> interrupted{false};
std::atomic<bool> gentle{false};

// While a command stops by itself, the first interrupt stops the run after the block on its
// way or cancels the blocking network wait; a second one, or any outside such a span, ends
// the process at once.
void onInterrupt() {
    if (!gentle.load() || interrupted.exchange(true))
        corvana::platform::exitNow(corvana::cli::kInterrupted);
    corvana::platform::cancelAll();
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    corvana::device::ProgramLoop loop(argc, argv);
    corvana::platform::setUpConsole();
    corvana::platform::onInterrupt(onInterrupt);

    corvana::device::ComPort::SetUncaughtErrorSink([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::cerr << "pellquin: " << e.what() << '\n';
        }
    });

    corvana::cli::Io io{std::cout,
                        std::cerr,
                        corvana::platform::stderrIsTerminal(),
                        corvana::platform::stderrColumns(),
                        nullptr,
                        [] { return interrupted.load(); },
                        [](bool on) { gentle.store(on); }};
    const int rc = corvana::cli::Run(args, io);
    if (rc != corvana::cli::kInterrupted && interrupted.load())
        return corvana::cli::kInterrupted;
    return rc;
}
