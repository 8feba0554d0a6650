// `program --repeat`: the service bench that programs remote after remote of one order type.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <sstream>
#include <thread>

#include "device/frames.h"
#include "device/remotelink.h"
#include "platform/statedir.h"
#include "tools/pellquin/commands.h"
#include "util/errors.h"
#include "wizard/logic/order.h"

namespace corvana::cli {
namespace {

using device::Millis;

enum class Probe { None, Wrong, Right };

// The programming run's device-type check, with a wait of about a second (the time-out value
// 0 ends an unanswered wait once its seconds component passes 0). Quiet: no transcript, no
// log. `port` and `answer` tell what it met.
Probe probe(Io& io, const ProgramJob& job, int& port, std::string& answer) {
    device::RemoteLink link(nullptr, nullptr, io.clock);
    answer.clear();
    try {
        port = job.port >= 1 ? job.port : link.FindBridgePort();
        if (port < 1)
            return Probe::None;
        link.ComPort1.SetPort("COM" + std::to_string(port));
        link.ComPort1.SetConnected(true);
        link.Senden(device::DeviceTypeFrame(job.FB));
        const bool answered = link.EmpfangenTest(device::frame::kReplyLength, 0);
        answer = link.RxBuffer;
        link.ComPort1.Close();
        if (!answered)
            return Probe::None;
        return answer == device::PositiveReply(device::frame::kDeviceType) ? Probe::Right
                                                                           : Probe::Wrong;
    } catch (const Exception&) {
        // A cable pulled during the check, a port that cannot be opened: nobody answers.
        try {
            link.ComPort1.Close();
        } catch (const Exception&) {
        }
        return Probe::None;
    }
}

std::string timeOfDay() {
    std::tm tm{};
    platform::localCalendarTime(std::time(nullptr), tm);
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string duration(std::chrono::steady_clock::duration d) {
    const auto s = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(d).count());
    char text[80];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string withoutName(const std::string& line) {
    return line.rfind("pellquin: ", 0) == 0 ? line.substr(10) : line;
}

class Bench {
public:
    Bench(Io& io, const ProgramJob& job, const std::string& codeFile, const ProgramOnce& programme)
        : io_(io), job_(job), codeFile_(codeFile), programme_(programme),
          clock_(io.clock ? *io.clock : device::systemClock()),
          type_(job.FB + " (" + DeviceTypeName(job.FB) + ")") {}

    int run() {
        const auto start = std::chrono::steady_clock::now();
        say("bench mode for device type " + type_ +
            ": connect remote after remote; Ctrl+C ends it");
        while (!stopped()) {
            if (!awaitRemote())
                break;
            const int exit = programmeOne();
            if (exit == kInterrupted || stopped())
                break;
            awaitDisconnect();
        }
        io_.out << "bench: " << programmed_ << " programmed, " << failed_ << " failed, total time "
                << duration(std::chrono::steady_clock::now() - start) << '\n'
                << std::flush;
        if (stopped())
            return kInterrupted;
        return failed_ > 0 ? lastFailure_ : kOk;
    }

private:
    bool stopped() const { return io_.interrupted && io_.interrupted(); }

    void say(const std::string& text) { io_.err << "pellquin: " << text << '\n' << std::flush; }

    // Until one second after `from` on the link's clock, or an interrupt.
    void pauseUntil(Millis due) {
        while (!stopped()) {
            const Millis now = clock_.now();
            if (now >= due)
                return;
            const Millis real = clock_.realDelay(due - now);
            std::this_thread::sleep_for(real < Millis(20) ? real : Millis(20));
        }
    }

    // Probes once a second until a remote of the type answers; says once what it meets
    // meanwhile. False when interrupted.
    bool awaitRemote() {
        std::optional<Probe> told;
        for (;;) {
            const Millis from = clock_.now();
            int port = 0;
            std::string answer;
            const Probe p = probe(io_, job_, port, answer);
            if (stopped())
                return false;
            if (p == Probe::Right)
                return true;
            if (told != p) {
                told = p;
                if (p == Probe::None)
                    say("waiting for a remote of device type " + type_ + " to answer" +
                        (job_.port >= 1 ? " on COM" + std::to_string(job_.port) : ""));
                else
                    say("the remote on COM" + std::to_string(port) + " is not of device type " +
                        type_ + ": it answered " + HexPairs(answer) + "; waiting for one that is");
            }
            pauseUntil(from + Millis(1000));
        }
    }

    // The same remote must not be taken for the next one: wait until nothing answers.
    void awaitDisconnect() {
        bool told = false;
        for (;;) {
            const Millis from = clock_.now();
            int port = 0;
            std::string answer;
            if (probe(io_, job_, port, answer) == Probe::None || stopped())
                return;
            if (!told) {
                told = true;
                say("remote " + std::to_string(count_) + " done: disconnect it to take the next");
            }
            pauseUntil(from + Millis(1000));
        }
    }

    int programmeOne() {
        ++count_;
        std::ostringstream quiet; // the single run's result line; the bench prints its own
        Io remoteIo{quiet, io_.err, io_.terminal, io_.columns, io_.clock, io_.interrupted, {}};
        CommandRecord logged(remoteIo,
                             "programming run, pellquin program --repeat, remote " +
                                 std::to_string(count_),
                             OrderNumberOfCodeFile(codeFile_), "programmed");
        RunResult ran;
        const auto began = std::chrono::steady_clock::now();
        int exit = kProtocol;
        try {
            exit = programme_(logged.io(), logged.record(), ran);
        } catch (const std::exception& e) {
            logged.io().err << "pellquin: " << e.what() << '\n' << std::flush;
        }
        logged.Ended(exit, "", &ran);
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

        std::string result;
        if (exit == kOk) {
            ++programmed_;
            result = job_.verify ? "programmed, verified " + *job_.verify : "programmed";
        } else {
            ++failed_;
            lastFailure_ = exit;
            result = "failed: " + withoutName(logged.record().LastShown());
        }
        char head[96];
        std::snprintf(head, sizeof head, "%3d  %s  %3d/%d blocks  %6.1f s  ", count_,
                      timeOfDay().c_str(), ran.sent, ran.blocks, secs);
        io_.out << head << result << '\n' << std::flush;
        return exit;
    }

    Io& io_;
    const ProgramJob& job_;
    const std::string& codeFile_;
    const ProgramOnce& programme_;
    device::Clock& clock_;
    const std::string type_;
    int count_ = 0;
    int programmed_ = 0;
    int failed_ = 0;
    int lastFailure_ = kOk;
};

} // namespace

int RunBench(Io& io, const ProgramJob& job, const std::string& codeFile,
             const ProgramOnce& programme) {
    // The whole bench stops by itself on the first interrupt, so that it can sum up.
    if (io.stopsGently)
        io.stopsGently(true);
    int exit = kOk;
    try {
        exit = Bench(io, job, codeFile, programme).run();
    } catch (...) {
        if (io.stopsGently)
            io.stopsGently(false);
        throw;
    }
    if (io.stopsGently)
        io.stopsGently(false);
    return exit;
}

} // namespace corvana::cli
