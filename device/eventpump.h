#pragma once
// The owning thread's event loop, as the device link needs it: a mailbox into which the port's
// event thread posts work for the owner, and the pumping of the waits. eventpump_qt.cpp puts
// both on Qt's event loop, so window input and timers run during the waits too; the loop of
// eventpump_plain.cpp serves programs without Qt (the Windows command line and its tests).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "device/waitclock.h"

namespace corvana::device {

// Work posted from any thread runs on the thread that created the mailbox, one piece after the
// other, whenever that thread pumps. Work still queued when the mailbox goes is dropped.
class Mailbox {
public:
    Mailbox();
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // Any thread. Queues `work` and wakes the owner if it is blocked in a pump.
    void post(std::function<void()> work);

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

// The loop of a program without windows (the command line), for the program's lifetime: with
// Qt its application object, without Qt nothing more than each thread's own loop.
class ProgramLoop {
public:
    ProgramLoop(int& argc, char** argv);
    ~ProgramLoop();
    ProgramLoop(const ProgramLoop&) = delete;
    ProgramLoop& operator=(const ProgramLoop&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

namespace pump {

// Whether the calling thread has a loop that delivers posted work (with Qt: an application
// object exists).
bool available();
// Runs what is pending for the calling thread, without waiting.
void processEvents();
// Blocks until something was processed or `limit` has passed (none: no limit of its own).
void processEventsFor(std::optional<Millis> limit);
// A line for the developer's log (Qt's message handler, else the error stream).
void warn(const std::string& text);

} // namespace pump
} // namespace corvana::device
