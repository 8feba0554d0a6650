#include "tools/pellquin/cli.h"

#include <ostream>

#include "platform/versioninfo.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/commands.h"
#include "util/settings.h"
#include "util/version.h"

namespace corvana::cli {
namespace {

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
