#pragma once
// pellquin, the technician's command line: the code-file loader, the programming run, the
// device read-out, the bridge discovery and the code-server download of the windows, without
// a window. main.cpp is a thin caller of Run(); the tests call it in-process.
//
// Results go to `out`, messages and the progress display to `err`. The exchange with the
// remote pumps the event loop of the calling thread, so with Qt a QCoreApplication must exist
// (device::ProgramLoop makes one).

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "device/waitclock.h"

namespace corvana::cli {

// The exit codes, as `pellquin --help` lists them.
enum Exit : int {
    kOk = 0,
    kUsage = 1,         // unknown command or option, missing argument
    kBadFile = 2,       // the code file cannot be read, is damaged, or cannot be programmed
    kNoHardware = 3,    // no cable, no port, the port cannot be opened, no answer from a remote
    kWrongHardware = 4, // a remote of another device type answers
    kProtocol = 5,      // the remote failed the exchange (Fehler(2), (3), (6), (7), bad reply)
    kNetwork = 6,       // the code server cannot be reached or has no such file
    kVerifyFailed = 7,  // --verify: the remote reports another designation
    kInterrupted = 130, // SIGINT or SIGTERM; the run stopped after the block on its way
};

struct Io {
    std::ostream& out;
    std::ostream& err;
    // `err` is a terminal: a progress bar that redraws itself instead of plain lines.
    bool terminal = false;
    int columns = 80;
    // The clock of the waits for the remote's replies; nullptr is the system clock.
    device::Clock* clock = nullptr;
    // Asked between blocks and after every wait; true stops the run (a termination signal).
    std::function<bool()> interrupted;
    // Told true while a command stops by itself on a termination signal (the programming run
    // between blocks, the download at once, so that it can clean up), false again after;
    // outside such spans a signal may end the process at once.
    std::function<void(bool)> stopsGently;
};

// Runs one command line (without the program name); returns the exit code.
int Run(const std::vector<std::string>& args, Io& io);

} // namespace corvana::cli
