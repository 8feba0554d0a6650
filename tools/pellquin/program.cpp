// `program`: the wizard's programming run from the command line, with the run log.
#include <filesystem>
#include <fstream>
#include <ostream>

#include "device/remotelink.h"
#include "runrecord/runrecord.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/command.h"
#include "tools/pellquin/commands.h"
#include "tools/pellquin/progress.h"
#include "util/errors.h"
#include "wizard/logic/order.h"
#include "wizard/logic/programmingrun.h"

namespace corvana::cli {
namespace {

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
    o.codeFile = std::filesystem::path(path).filename().string();
    return o;
}

} // namespace

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

} // namespace corvana::cli
