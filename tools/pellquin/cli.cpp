#include "tools/pellquin/cli.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <random>

#include "device/bridgediscovery.h"
#include "device/frames.h"
#include "device/remotelink.h"
#include "info/readout.h"
#include "net/ftpsession.h"
#include "platform/cp210x.h"
#include "platform/serial.h"
#include "platform/sysio.h"
#include "platform/versioninfo.h"
#include "tools/pellquin/commands.h"
#include "tools/pellquin/progress.h"
#include "util/errors.h"
#include "util/hexconv.h"
#include "util/settings.h"
#include "util/tempfileerrors.h"
#include "util/version.h"
#include "wizard/hexloader.h"
#include "wizard/order.h"
#include "wizard/programmingrun.h"

namespace corvana::cli {
namespace {

namespace fs = std::filesystem;

// ---- help ---------------------------------------------------------------------------------

const char* kMainHelp = R"(usage: pellquin COMMAND [options] [arguments]

The technician's command line of the Corvana Pellquin programmer: the same loader,
programming run, read-out, cable lookup and code-server download as the windows.
Results go to standard output, messages to standard error.

commands:
  check FILE               load a code file and report on it
  frames FILE              the frames a programming run would send for it (dry run)
  program FILE --type CODE write a code file into the remote control
  info                     read out what the connected remote is programmed as
  ports                    the attached CP210x cables and the ports they map to
  fetch NAME               download a code file from the code server
  log [N]                  the last runs, or run N, from the run log

'pellquin COMMAND --help' describes each; 'pellquin --version' prints the version.

exit codes:
  0    success
  1    usage: unknown command or option, missing or malformed argument
  2    file: the code file cannot be read, is damaged (checksum, a field that is not
       hexadecimal) or cannot be programmed (no end record, end not above the start,
       data above 7FFF); or an output file cannot be written; or the run log
       holds no such run
  3    no hardware: no CP210x cable, no port for it, the port cannot be opened or
       fails, no answer to the device-type check or to the read-out
  4    wrong hardware: the remote is of another device type (info: it acknowledges
       none of the types 00 to 09)
  5    protocol failure: no or a wrong answer to the prepare command (Fehler(6),
       Fehler(7)), to a block (Fehler(2), Fehler(3)), or to a device-type probe; a
       read-out that cannot be decoded
  6    network failure: the code server cannot be reached, refuses the login or does
       not have the file
  7    verification failed: the remote reports another designation than --verify names
  130  interrupted (SIGINT, SIGTERM)

environment (for tests and demonstrations only):
  CORVANA_CODE_SERVER, CORVANA_CODE_SERVER_PORT   another code server
  CORVANA_USB_DEVICES_ROOT, CORVANA_DEV_ROOT      another USB device tree and /dev (Linux)
)";

const char* kCheckHelp = R"(usage: pellquin check FILE

Loads the code file with the tool's own loader and prints its end address, the image
sum that the loader logs (the bytes from the start address 1000 to the end address,
modulo 65536) and the number of 64-byte blocks a programming run would send.

A damaged file is reported with the number of the line whose record stopped the load,
beside the loader's own message ("Check Sum Error!!!!!-- [4096]", "'$..' ist kein
gültiger Integerwert"). A file that loads but cannot be programmed (no end record, end
address not above 1000, data bytes above 7FFF that the image cannot hold) is reported
too. Exit code 2 for either, 0 for a file ready to program.
)";

const char* kFramesHelp = R"(usage: pellquin frames FILE [--start HEX] [--type CODE]

Prints, one per line as hexadecimal byte pairs, the block frames a programming run
would send for the code file. Nothing is opened.

  --start HEX   the start address (default 1000, the wizard's); a multiple of 10
  --type CODE   also print the device-type check for CODE and the prepare command
                that come before the blocks, as 'program --type CODE' sends them
)";

const char* kProgramHelp =
    R"(usage: pellquin program FILE --type CODE [--port COMn] [--verify DESIGNATION]
                        [--trace FILE]
       pellquin program FILE --type CODE --repeat [--port COMn] [--verify DESIGNATION]

Writes the code file into the remote control as the wizard does: finds the cable's
port, checks that a remote of device type CODE answers, prepares it, and sends the
image from 1000 to the end address in 64-byte blocks. On a terminal a progress bar
shows the blocks sent, the rate and the time left; otherwise plain lines do.

  --type CODE            device type: two digits (00 TV1, 01 VCR1, 02 DVD, 03 STB1,
                         04 TVC1, 05 TVC2) or one of those names
  --port COMn            use this port instead of the lookup (on Linux COMn is
                         ttyUSB<n-1>)
  --verify DESIGNATION   afterwards read the remote out as the device info window
                         does, and fail (exit 7) unless it reports DESIGNATION,
                         for example QYX85123-PQ
  --trace FILE           write the wizard's transcript lines of the exchange to FILE
                         ("Memo1: " and "Memo2: " in front; raw frame bytes included)

  --repeat               bench mode: program remote after remote (below)

The code file is checked before anything is sent (see 'pellquin check'). Every run
leaves a run log (see 'pellquin log').

Bench mode (--repeat) waits for a remote of device type CODE to answer the device-type
check, probing once a second and saying once when none or one of another type answers;
programs it (and reads it out with --verify); prints one line per remote on standard
output: its count, the time, the blocks and the result; then waits until that remote is
disconnected (no answer to the check) before it takes the next, so that no remote is
programmed twice by accident. A failure on one remote is reported in its line and the
bench goes on with the next. Ctrl+C (SIGINT, SIGTERM) ends it with a summary: remotes
programmed, failed, total time; the exit code is then 130. --trace does not go with it:
each remote's run log holds its exchange.
)";

const char* kLogHelp = R"(usage: pellquin log
       pellquin log N
       pellquin log [N] --export FILE

Every programming run (wizard, 'pellquin program') and every read-out (device info
window, 'pellquin info') leaves a log: the order, the code server's dialogue (PASS
masked), the loader's result, the cable lookup, every frame sent and reply received as
hexadecimal pairs with each wait's duration, the completion report's requests, and the
outcome with the text shown. It never holds the passcode, the login address or the
portal session. The newest 100 are kept, in $XDG_STATE_HOME/corvana/runs (else
~/.local/state/corvana/runs; on Windows %LOCALAPPDATA%\corvana\runs).

  (none)          list the runs, newest first (1 is the last run): time, order number,
                  device type, outcome, duration
  N               print run N
  --export FILE   write the last run (or run N) into FILE, a plain text file to mail
                  to support ('-' writes it to standard output)
)";

const char* kInfoHelp = R"(usage: pellquin info [--port COMn]

Reads out what the connected remote is programmed as, as the device info window does:
its designation (QYX + type number + code number + -PQ) and its hardware version.
Without a remote answering it prints the window's no-hardware text (exit 3).

  --port COMn   use this port instead of the lookup
)";

const char* kPortsHelp = R"(usage: pellquin ports

Lists the attached CP210x cables with vendor id, product id and serial number, the
key path the port lookup builds from them, and the COM port it maps to. The lookup
of the windows uses the first cable only; it is marked. Exit 3 when none is attached.
)";

const char* kFetchHelp = R"(usage: pellquin fetch NAME [-o FILE]
       pellquin fetch --list

Downloads the code file NAME (for example PQD_12345.hex) from the code server, with
the account and FTP client of the wizard, into FILE (default: NAME in the current
directory; '-' writes it to standard output). The file appears complete or not at
all: the download goes into a temporary file beside it first.

  -o FILE, --output FILE   where to put the file
  --list                   print the server's listing instead
)";

// ---- options ------------------------------------------------------------------------------

struct OptionSpec {
    std::string name; // "--type"
    bool takesValue = true;
    std::vector<std::string> aliases; // "-o"
};

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    bool help = false;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    const std::string* get(const std::string& name) const {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    }
};

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

Args parse(const std::vector<std::string>& in, const std::vector<OptionSpec>& specs) {
    Args a;
    const auto find = [&](const std::string& name) -> const OptionSpec* {
        for (const auto& s : specs) {
            if (s.name == name)
                return &s;
            if (std::find(s.aliases.begin(), s.aliases.end(), name) != s.aliases.end())
                return &s;
        }
        return nullptr;
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < in.size(); ++i) {
        const std::string& arg = in[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            a.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            a.help = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const OptionSpec* spec = find(name);
        if (!spec)
            throw UsageError("unknown option " + name);
        if (!spec->takesValue) {
            if (value)
                throw UsageError(spec->name + " takes no value");
            a.values[spec->name] = "";
            continue;
        }
        if (!value) {
            if (i + 1 >= in.size())
                throw UsageError(spec->name + " needs a value");
            value = in[++i];
        }
        a.values[spec->name] = *value;
    }
    return a;
}

// "COM3" (any letter case) or "3"; the number.
int parsePort(const std::string& text) {
    std::string digits = text;
    if (digits.size() > 3) {
        std::string head = digits.substr(0, 3);
        for (auto& c : head)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (head == "COM")
            digits.erase(0, 3);
    }
    const bool number = !digits.empty() && digits.size() <= 6 &&
                        digits.find_first_not_of("0123456789") == std::string::npos;
    if (!number || std::atoi(digits.c_str()) < 1)
        throw UsageError("--port wants COMn with n from 1 (COM1 is " +
                         platform::comPortDevicePath("COM1") + "), not '" + text + "'");
    return std::atoi(digits.c_str());
}

// Two digits, or a name from the wizard's device-type table.
std::string parseType(const std::string& text) {
    if (text.size() == 2 && std::isdigit(static_cast<unsigned char>(text[0])) &&
        std::isdigit(static_cast<unsigned char>(text[1])))
        return text;
    for (const auto& t : kDeviceTypes) {
        std::string upper = text;
        for (auto& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper == t.name)
            return std::string(t.code);
    }
    throw UsageError("--type wants two digits or TV1, VCR1, DVD, STB1, TVC1, TVC2, not '" + text +
                     "'");
}

std::string hexPairs(const std::string& bytes) {
    std::string dump = device::DumpText(bytes, bytes.size());
    if (!dump.empty())
        dump.pop_back();
    return dump;
}

std::string comName(int port) {
    return "COM" + std::to_string(port);
}

// ---- the code file --------------------------------------------------------------------------

struct LoadedFile {
    MemoryImage image;
    StringList log;
    HexLoadResult result;
    std::optional<std::string> imageSum; // the last sum the loader logged
};

// The sum is the line the loader writes after its "SE_adress1" line, unless the range check
// refused to sum (then a record's "Status" line follows, or nothing).
std::optional<std::string> loggedSum(const StringList& log) {
    return LoggedImageSum(log);
}

// A span in which a termination signal is left to the command (see Io::stopsGently).
class GentleStop {
public:
    explicit GentleStop(Io& io) : io_(io) {
        if (io_.stopsGently)
            io_.stopsGently(true);
    }
    ~GentleStop() {
        if (io_.stopsGently)
            io_.stopsGently(false);
    }
    GentleStop(const GentleStop&) = delete;
    GentleStop& operator=(const GentleStop&) = delete;

private:
    Io& io_;
};

class Command {
public:
    explicit Command(Io& io) : io_(io) {}

    void error(const std::string& text) { io_.err << "pellquin: " << text << '\n' << std::flush; }

    // Loads `path` into `file`; false (the error told) when the loader stopped.
    bool load(const std::string& path, LoadedFile& file) {
        try {
            if (!LadenHexFile(file.image, file.log, path, {}, &file.result)) {
                error(path + ":" + std::to_string(file.result.errorLine) + ": " +
                      file.result.errorText);
                return false;
            }
        } catch (const EInOutError& e) {
            error(path + ": " + e.what());
            return false;
        } catch (const Exception& e) {
            error(path + ":" + std::to_string(file.result.errorLine) + ": " + e.what());
            return false;
        }
        file.imageSum = loggedSum(file.log);
        return true;
    }

    // Whether a run could program the loaded file as it stands; tells why not.
    bool programmable(const std::string& path, const LoadedFile& file) {
        bool ok = true;
        if (file.result.droppedBytes > 0) {
            error(path + ":" + std::to_string(file.result.firstDroppedLine) + ": " +
                  std::to_string(file.result.droppedBytes) +
                  " data bytes addressed above 7FFF, beyond the image; a run would not send them");
            ok = false;
        }
        try {
            const ProgramRange range = RangeOf(file.image);
            if (!range.valid()) {
                error(path + ": Start & End Address Error!!!! (end address " +
                      file.image.se_address2 + " is not above the start " + file.image.se_Address1 +
                      ")");
                ok = false;
            }
        } catch (const EConvertError&) {
            error(path + ": no end record (type 01): the end address is unknown");
            ok = false;
        }
        return ok;
    }

protected:
    Io& io_;
};

// ---- check, frames --------------------------------------------------------------------------

int runCheck(Io& io, const Args& a) {
    if (a.positional.size() != 1)
        throw UsageError("check wants one FILE");
    const std::string& path = a.positional[0];
    Command cmd(io);
    LoadedFile file;
    if (!cmd.load(path, file))
        return kBadFile;
    const bool ok = cmd.programmable(path, file);
    io.out << "file          " << path << '\n';
    io.out << "records       " << file.result.records << '\n';
    io.out << "start address " << file.image.se_Address1 << '\n';
    io.out << "end address   " << file.image.se_address2 << '\n';
    io.out << "image sum     " << file.imageSum.value_or("none") << '\n';
    int blocks = 0;
    if (ok)
        blocks = RangeOf(file.image).blocks();
    io.out << "blocks        " << blocks << '\n' << std::flush;
    return ok ? kOk : kBadFile;
}

int runFrames(Io& io, const Args& a) {
    if (a.positional.size() != 1)
        throw UsageError("frames wants one FILE");
    std::optional<std::string> FB;
    if (const auto* t = a.get("--type"))
        FB = parseType(*t);
    std::optional<std::string> start;
    if (const auto* s = a.get("--start")) {
        int value = -1;
        try {
            value = HexToInt(*s);
        } catch (const EConvertError&) {
        }
        if (value < 0 || value > ImageGrid::LastAddress || value % 16 != 0)
            throw UsageError("--start wants a hexadecimal address from 0 to 7FF0, a multiple of "
                             "10, not '" +
                             *s + "'");
        start = xIntToHex(value, 4);
    }
    const std::string& path = a.positional[0];
    Command cmd(io);
    LoadedFile file;
    if (!cmd.load(path, file))
        return kBadFile;
    if (start)
        file.image.se_Address1 = *start;
    if (!cmd.programmable(path, file))
        return kBadFile;
    for (const auto& frame : PlannedFrames(file.image, FB ? &*FB : nullptr))
        io.out << hexPairs(frame) << '\n';
    io.out << std::flush;
    return kOk;
}

// ---- program ----------------------------------------------------------------------------

// The run's effects on a terminal: the wizard's texts on stderr, the progress display.
class TerminalRunDisplay : public RunDisplay {
public:
    TerminalRunDisplay(Io& io, Progress& progress, const device::RemoteLink& link,
                       std::string deviceTypeName)
        : io_(io), progress_(progress), link_(link), name_(std::move(deviceTypeName)) {}

    void HardwareFailure(bool wrongHardware) override {
        const FailureTexts t = HardwareFailureTexts(wrongHardware, name_);
        progress_.message(t.german);
        progress_.message(t.english);
    }
    void Message(const std::string& text) override {
        std::string why;
        if (text == "Fehler(6)")
            why = ": no answer to the prepare command";
        else if (text == "Fehler(7)")
            why = ": wrong answer to the prepare command: " + hexPairs(link_.RxBuffer);
        else if (text == "Fehler(2)")
            why = ": no answer to block " + std::to_string(block_) + " of " +
                  std::to_string(total_) + " (" + address_ + "); the transfer ends";
        else if (text == "Fehler(3)")
            why = ": wrong answer to block " + std::to_string(block_) + " of " +
                  std::to_string(total_) + " (" + address_ + "): " + hexPairs(link_.RxBuffer) +
                  "; the transfer goes on";
        progress_.message("pellquin: " + text + why);
    }
    bool Abandoned() override { return io_.interrupted && io_.interrupted(); }
    void TransferStarted(int total) override {
        total_ = total;
        progress_.start(total);
    }
    void BlockSending(int index, int, const std::string& frame) override {
        block_ = index;
        address_ = frame.substr(2, 4);
    }
    void BlockDone(int done, int) override { progress_.update(done); }
    void Finished() override { progress_.finish(); }

private:
    Io& io_;
    Progress& progress_;
    const device::RemoteLink& link_;
    std::string name_;
    int block_ = 0;
    int total_ = 0;
    std::string address_;
};

// Writes the transcript memos' lines to a file as they are added.
class Trace {
public:
    bool open(const std::string& path) {
        out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        return out_.good();
    }
    void attach(StringList& memo, const std::string& name) {
        if (!out_.is_open())
            return;
        memo.onAdd = [this, name](const std::string& line) {
            out_ << name << ": " << line << '\n' << std::flush;
        };
    }

private:
    std::ofstream out_;
};

// The read-out of the device info window, told in terminal lines.
class QuietReadOutDisplay : public info::ReadOutDisplay {};

struct ReadOutReport {
    int exit = kOk;
    info::ReadOutResult result;
};

ReadOutReport readOut(Io& io, int port, const char* what, RunRecord* record = nullptr) {
    Command cmd(io);
    device::RemoteLink link(nullptr, nullptr, io.clock);
    if (record)
        record->WatchLink(link);
    ReadOutReport report;
    // The lookup first, so that a conversion error in the read-out is the reply's.
    if (port < 1) {
        try {
            port = link.FindBridgePort();
        } catch (const EConvertError& e) {
            cmd.error(std::string(what) + ": the port lookup failed: " + e.what());
            report.exit = kNoHardware;
            return report;
        }
    }
    info::DeviceReadOut readOut(link);
    readOut.givenPort = port;
    QuietReadOutDisplay display;
    try {
        report.result = readOut.OpenFernbedienung(display);
    } catch (const EConvertError& e) {
        link.ComPort1.Close();
        cmd.error(std::string(what) + ": the read-out cannot be decoded: " + e.what());
        report.exit = kProtocol;
        return report;
    } catch (const EComPortError& e) {
        link.ComPort1.Close();
        cmd.error(std::string(what) + ": " + e.what());
        report.exit = kNoHardware;
        return report;
    }
    const info::ReadOutResult& r = report.result;
    using info::Outcome;
    if (r.outcome == Outcome::Identified) {
        report.exit = kOk;
    } else if (info::IsNoHardware(r.outcome)) {
        io.err << "Keine Hardware angeschlossen!\nNo Hardware connected!\n";
        std::string detail = "no CP210x cable found, or no port recorded for it";
        if (r.outcome == Outcome::OpenFailed)
            detail = comName(r.port) + ": " + r.openError;
        else if (r.outcome == Outcome::NoReadOutAnswer)
            detail = "no answer to the read-out on " + comName(r.port);
        cmd.error(std::string(what) + ": " + detail);
        report.exit = kNoHardware;
    } else if (r.outcome == Outcome::NoTypeAcknowledged) {
        cmd.error(std::string(what) + ": the remote on " + comName(r.port) +
                  " answers the read-out (code " + r.ReadOutCode +
                  ") but acknowledges none of the device types 00 to 09");
        report.exit = kWrongHardware;
    } else if (r.outcome == Outcome::ProbeUnanswered) {
        cmd.error(std::string(what) + ": no answer to the device-type check 0" +
                  std::to_string(r.probes - 1) + " on " + comName(r.port));
        report.exit = kProtocol;
    } else {
        cmd.error(std::string(what) + ": the read-out did not run");
        report.exit = kProtocol;
    }
    return report;
}

std::string designationText(const info::ReadOutResult& r) {
    if (!r.Designation.empty())
        return r.Designation;
    return "(none: device type 0" + std::to_string(r.acknowledged) + " has no type number)";
}

// Programs the loaded file into the remote; the exit code. `record` is told the run (may be
// nullptr), `ran` gets what the run found.
int programLoaded(Io& io, const ProgramJob& job, const LoadedFile& file, RunRecord* record,
                  RunResult* ran) {
    const std::string& FB = job.FB;
    const int port = job.port;
    const std::string* verify = job.verify ? &*job.verify : nullptr;
    Command cmd(io);

    Trace trace;
    StringList memo1, memo2;
    if (const auto* t = job.trace ? &*job.trace : nullptr) {
        if (!trace.open(*t)) {
            cmd.error(*t + ": cannot be written");
            return kBadFile;
        }
        trace.attach(memo1, "Memo1");
        trace.attach(memo2, "Memo2");
    }

    device::RemoteLink link(&memo1, &memo2, io.clock);
    if (record)
        record->WatchLink(link);
    ProgrammingRun run(link, file.image, &memo1, &memo2);
    run.givenPort = port;
    Progress progress(io.err, io.terminal, io.columns);
    TerminalRunDisplay display(io, progress, link, DeviceTypeName(FB));
    RunResult result;
    try {
        const GentleStop gentle(io);
        result = run.Programme(FB, display);
    } catch (const EComPortError& e) {
        progress.finish();
        if (ran)
            *ran = run.result();
        cmd.error(e.what());
        return kNoHardware;
    } catch (const EConvertError& e) {
        // Only the port lookup converts here: the file's addresses were checked.
        progress.finish();
        cmd.error("the port lookup failed: " + std::string(e.what()));
        return kNoHardware;
    }
    progress.finish();
    if (ran)
        *ran = result;

    const std::string where = " on " + comName(result.port);
    switch (result.outcome) {
    case RunOutcome::Programmed:
        break;
    case RunOutcome::NoBridge:
        cmd.error("no CP210x cable found, or no port recorded for it");
        return kNoHardware;
    case RunOutcome::NoAnswer:
        cmd.error("no answer to the device-type check" + where);
        return kNoHardware;
    case RunOutcome::WrongHardware:
        cmd.error("the remote" + where + " is not of device type " + FB + ": it answered " +
                  hexPairs(link.RxBuffer));
        return kWrongHardware;
    case RunOutcome::AddressError:
        return kBadFile;
    case RunOutcome::Abandoned:
        cmd.error("interrupted after " + std::to_string(result.sent) + " of " +
                  std::to_string(result.blocks) + " blocks");
        return kInterrupted;
    case RunOutcome::Prepared:
    case RunOutcome::PrepareSilent:
    case RunOutcome::PrepareWrong:
    case RunOutcome::BlockSilent:
        return kProtocol;
    }
    if (!result.wrong.empty()) {
        std::string list;
        for (const int b : result.wrong)
            list += (list.empty() ? "" : ", ") + std::to_string(b);
        cmd.error(std::to_string(result.wrong.size()) + " of " + std::to_string(result.blocks) +
                  " blocks answered wrongly (" + list + "): the remote may not hold the code");
        return kProtocol;
    }
    io.out << "programmed " << result.blocks << " blocks, " << file.image.se_Address1 << " to "
           << file.image.se_address2 << ", device type " << FB << " (" << DeviceTypeName(FB) << ")"
           << where << '\n';
    io.out << std::flush;

    if (!verify)
        return kOk;
    const ReadOutReport check = readOut(io, result.port, "--verify", record);
    if (check.exit != kOk)
        return check.exit;
    if (check.result.Designation != *verify) {
        cmd.error("--verify: the remote reports " + designationText(check.result) + " (" +
                  check.result.HardwareVersion + "), not " + *verify);
        return kVerifyFailed;
    }
    io.out << "verified " << check.result.Designation << " (" << check.result.HardwareVersion
           << ")\n"
           << std::flush;
    return kOk;
}

OrderPieces orderOfFile(const std::string& path, const std::string& FB) {
    OrderPieces o;
    o.number = OrderNumberOfCodeFile(path);
    o.deviceTypeCode = FB;
    o.deviceTypeName = DeviceTypeName(FB);
    o.codeFile = fs::path(path).filename().string();
    return o;
}

int runProgram(Io& io, const Args& a) {
    if (a.positional.size() != 1)
        throw UsageError("program wants one FILE");
    const std::string* typeText = a.get("--type");
    if (!typeText)
        throw UsageError("program needs --type CODE");
    ProgramJob job;
    job.FB = parseType(*typeText);
    job.port = a.has("--port") ? parsePort(*a.get("--port")) : 0;
    if (const auto* v = a.get("--verify"))
        job.verify = *v;
    if (const auto* t = a.get("--trace"))
        job.trace = *t;
    const std::string& path = a.positional[0];

    if (a.has("--repeat")) {
        if (job.trace)
            throw UsageError("--trace does not go with --repeat: each remote's run log holds "
                             "its exchange");
        Command cmd(io);
        LoadedFile file;
        if (!cmd.load(path, file) || !cmd.programmable(path, file))
            return kBadFile;
        return RunBench(io, job, path, [&](Io& remoteIo, RunRecord& record, RunResult& ran) {
            record.Order(orderOfFile(path, job.FB));
            record.Loaded(file.result, file.image, file.log, 0);
            return programLoaded(remoteIo, job, file, &record, &ran);
        });
    }

    CommandRecord logged(io, "programming run, pellquin program", OrderNumberOfCodeFile(path),
                         "programmed");
    logged.record().Order(orderOfFile(path, job.FB));
    Command cmd(logged.io());
    LoadedFile file;
    const bool loaded = cmd.load(path, file);
    logged.record().Loaded(file.result, file.image, file.log, 0);
    if (!loaded || !cmd.programmable(path, file))
        return logged.Ended(kBadFile);
    RunResult ran;
    const int exit = programLoaded(logged.io(), job, file, &logged.record(), &ran);
    return logged.Ended(exit, "", &ran);
}

// ---- info, ports ------------------------------------------------------------------------

int runInfo(Io& outer, const Args& a) {
    if (!a.positional.empty())
        throw UsageError("info takes no arguments");
    const int port = a.has("--port") ? parsePort(*a.get("--port")) : 0;
    CommandRecord logged(outer, "read-out, pellquin info", "info", "identified");
    Io& io = logged.io();
    const ReadOutReport report = readOut(io, port, "info", &logged.record());
    if (report.exit != kOk)
        return logged.Ended(report.exit);
    const info::ReadOutResult& r = report.result;
    io.out << "designation       " << designationText(r) << '\n';
    io.out << "hardware version  " << r.HardwareVersion << '\n';
    io.out << "read-out code     " << r.ReadOutCode << '\n';
    io.out << "port              " << comName(r.port) << '\n' << std::flush;
    return logged.Ended(kOk, designationText(r) + ", hardware version " + r.HardwareVersion);
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

int runPorts(Io& io, const Args& a) {
    using namespace platform;
    if (!a.positional.empty())
        throw UsageError("ports takes no arguments");
    Command cmd(io);
    uint32_t count = 0;
    if (CP210x_GetNumDevices(&count) != CP210x_SUCCESS || count == 0) {
        cmd.error("no CP210x cable attached (" + bridgeLookupNote() + ")");
        return kNoHardware;
    }
    for (uint32_t i = 0; i < count; ++i) {
        io.out << "cable " << i << (i == 0 ? "  (the one the port lookup uses)" : "") << '\n';
        device::BridgeDiscovery discovery;
        auto& buffer = discovery.buffer;
        if (CP210x_GetProductString(i, buffer.data(), 256) == CP210x_SUCCESS)
            io.out << "  product     "
                   << device::BridgeDiscovery::converttostring(
                          buffer.data(),
                          static_cast<int>(strnlen(reinterpret_cast<char*>(buffer.data()), 255)))
                   << '\n';
        CP210x_HANDLE handle = 0;
        if (CP210x_Open(i, &handle) != CP210x_SUCCESS) {
            io.out << "  cannot be opened\n";
            continue;
        }
        uint16_t vid = 0, pid = 0;
        uint8_t length = 0;
        const bool haveVid = CP210x_GetDeviceVid(handle, &vid) == CP210x_SUCCESS;
        const bool havePid = haveVid && CP210x_GetDevicePid(handle, &pid) == CP210x_SUCCESS;
        if (havePid)
            CP210x_GetDeviceSerialNumber(handle, buffer.data(), &length, true);
        CP210x_Close(handle);
        if (!havePid) {
            io.out << "  vendor or product id cannot be read\n";
            continue;
        }
        const std::string serial = device::BridgeDiscovery::converttostring(buffer.data(), length);
        io.out << "  vendor id   " << hex4(vid) << '\n';
        io.out << "  product id  " << hex4(pid) << '\n';
        io.out << "  serial      " << (serial.empty() ? "(none)" : serial) << '\n';
        std::string portText;
        try {
            const int n = discovery.GetPortNumXp2000(vid, pid, buffer.data(), length);
            portText = n >= 1 ? comName(n) + "  (" + comPortDevicePath(comName(n)) + ")"
                              : "none: no PortName under that key";
        } catch (const EConvertError& e) {
            portText = std::string("none: ") + e.what();
        }
        // GetPortNumXp2000 put "_" for the blanks, as the key has them.
        io.out << "  key path    "
               << device::BridgeDiscovery::KeyPath(device::BridgeDiscovery::DevicePart(
                      vid, pid, device::BridgeDiscovery::converttostring(buffer.data(), length)))
               << '\n';
        io.out << "  port        " << portText << '\n';
    }
    io.out << std::flush;
    return kOk;
}

// ---- fetch --------------------------------------------------------------------------------

bool cancelled(const std::exception& e) {
    const auto* s = dynamic_cast<const ESocketError*>(&e);
    return s && s->osError == ECANCELED;
}

// A new file of a name of its own in `dir`, with the usual mode of a new file (the user's
// umask applies); its path, or "" with errno set.
std::string createPartFile(const fs::path& dir) {
    std::random_device seed;
    std::mt19937 pick(seed());
    std::uniform_int_distribution<int> letter(0, 35);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, '0');
        for (auto& c : suffix) {
            const int v = letter(pick);
            c = static_cast<char>(v < 10 ? '0' + v : 'a' + v - 10);
        }
        const std::string path = (dir / (".pellquin-fetch-" + suffix)).string();
        const int fd = platform::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            platform::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

int runFetch(Io& io, const Args& a) {
    const bool list = a.has("--list");
    if (list ? !a.positional.empty() : a.positional.size() != 1)
        throw UsageError(list ? "fetch --list takes no NAME" : "fetch wants one NAME");
    Command cmd(io);
    std::string name, target;
    if (!list) {
        name = a.positional[0];
        if (const auto* o = a.get("--output"))
            target = *o;
        else
            target = fs::path(name).filename().string();
        if (target.empty() || target == "." || target == "..")
            throw UsageError("fetch cannot name a file after '" + name + "'; give -o FILE");
    }
    const bool toStdout = target == "-";

    net::TFtpSession session;
    session.UseCodeServer();
    const std::string server = session.Client.Host + ":" + std::to_string(session.Client.Port);
    std::string part;
    const auto removePart = [&] {
        std::error_code ignored;
        if (!part.empty())
            fs::remove(part, ignored);
        part.clear();
    };
    const GentleStop gentle(io);
    try {
        session.Client.Connect();
        if (!session.ChangeDirectory(settings::kCodeServerDirectory))
            cmd.error("Fehler(1): the code server refused to change into its directory; going on");
        if (list) {
            for (const auto& line : session.ListFiles().lines())
                io.out << line << '\n';
            io.out << std::flush;
            session.Client.Disconnect();
            return kOk;
        }
        // Into a file of our own beside the target, renamed when complete.
        const fs::path dir =
            toStdout ? fs::path(GetTempDirectory()) : fs::absolute(fs::path(target)).parent_path();
        part = createPartFile(dir);
        if (part.empty()) {
            cmd.error(dir.string() + ": " + InOutError(errno).what());
            return kBadFile;
        }
        if (!session.Download(name, part, true)) {
            const net::FtpReply& reply = session.Client.LastReply();
            std::string said;
            for (const auto& l : reply.Text)
                said += (said.empty() ? "" : " ") + l;
            // A refusal is told by its reply; anything else (no data connection, a broken
            // one) by its error, as the last reply then says the transfer went well.
            const bool refused = reply.Code >= 400;
            std::string why;
            if (refused)
                why = " (" + std::to_string(reply.Code) + " " + said + ")";
            else if (!session.LastError.empty())
                why = ": " + session.LastError;
            cmd.error("Datei nicht vorhanden / File not found: " + name + " on " + server + why);
            removePart();
            return kNetwork;
        }
        session.Client.Disconnect();
    } catch (const std::exception& e) {
        removePart();
        if (cancelled(e)) {
            cmd.error("interrupted");
            return kInterrupted;
        }
        cmd.error("code server " + server + ": " + e.what());
        return kNetwork;
    }

    std::error_code ec;
    const auto size = fs::file_size(part, ec);
    if (toStdout) {
        std::ifstream in(part, std::ios::binary);
        io.out << in.rdbuf() << std::flush;
        removePart();
        return kOk;
    }
    fs::rename(part, target, ec);
    if (ec) {
        cmd.error(target + ": " + ec.message());
        removePart();
        return kBadFile;
    }
    part.clear();
    io.out << name << ": " << size << " bytes into " << target << '\n' << std::flush;
    return kOk;
}

// ---- log ----------------------------------------------------------------------------------

int runLog(Io& io, const Args& a) {
    try {
        return RunLogCommand(io, a.positional, a.get("--export"));
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

// ---- dispatch -------------------------------------------------------------------------------

struct CommandSpec {
    const char* name;
    const char* help;
    std::vector<OptionSpec> options;
    int (*run)(Io&, const Args&);
};

OptionSpec valued(const char* name, std::vector<std::string> aliases = {}) {
    return OptionSpec{name, true, std::move(aliases)};
}
OptionSpec flag(const char* name) {
    return OptionSpec{name, false, {}};
}

const std::vector<CommandSpec>& commands() {
    static const std::vector<CommandSpec> table{
        {"check", kCheckHelp, {}, runCheck},
        {"frames", kFramesHelp, {valued("--start"), valued("--type")}, runFrames},
        {"program",
         kProgramHelp,
         {valued("--type"), valued("--port"), valued("--verify"), valued("--trace"),
          flag("--repeat")},
         runProgram},
        {"info", kInfoHelp, {valued("--port")}, runInfo},
        {"ports", kPortsHelp, {}, runPorts},
        {"fetch", kFetchHelp, {valued("--output", {"-o"}), flag("--list")}, runFetch},
        {"log", kLogHelp, {valued("--export")}, runLog},
    };
    return table;
}

} // namespace

int Run(const std::vector<std::string>& args, Io& io) {
    if (args.empty()) {
        io.err << kMainHelp;
        return kUsage;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        if (first == "help" && args.size() > 1)
            return Run({args[1], "--help"}, io);
        io.out << kMainHelp << std::flush;
        return kOk;
    }
    if (first == "--version") {
        io.out << "pellquin " << GetFileVersionString(platform::runningExecutablePath()) << '\n';
        for (const auto& s : settings::siteSettings()) {
            std::string what = s.what;
            what.resize(28, ' ');
            io.out << "  " << what << s.current;
            if (s.current != s.builtIn)
                io.out << " (" << s.variable << "; built in: " << s.builtIn << ")";
            io.out << '\n';
        }
        io.out << std::flush;
        return kOk;
    }
    for (const auto& c : commands()) {
        if (first != c.name)
            continue;
        try {
            const Args a = parse({args.begin() + 1, args.end()}, c.options);
            if (a.help) {
                io.out << c.help << std::flush;
                return kOk;
            }
            return c.run(io, a);
        } catch (const UsageError& e) {
            io.err << "pellquin " << c.name << ": " << e.what() << "\n"
                   << "'pellquin " << c.name << " --help' tells more.\n";
            return kUsage;
        }
    }
    io.err << "pellquin: unknown command '" << first << "'; 'pellquin --help' lists them.\n";
    return kUsage;
}

} // namespace corvana::cli
