#pragma once
// The commands, a file each, and what they share: the run log of a command, the read-out, the
// bench mode of `program`. cli.cpp holds the help texts and dispatches.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "info/readout.h"
#include "runrecord/runrecord.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/cli.h"
#include "wizard/logic/programmingrun.h"

namespace corvana::cli {

// The run log of one command run: a RunRecord, with the command's standard output and error
// copied into it line by line ("shown"), as the user saw them.
class CommandRecord {
public:
    // `what` for the log's first line, `order` names its file, `okWord` is the result's word
    // for exit code 0 ("programmed", "identified").
    CommandRecord(Io& io, const std::string& what, const std::string& order, std::string okWord);
    ~CommandRecord();
    CommandRecord(const CommandRecord&) = delete;
    CommandRecord& operator=(const CommandRecord&) = delete;

    // The Io to run the command with.
    Io& io() { return io_; }
    RunRecord& record() { return record_; }
    // Writes the result line for `exit` and returns it. The text is `text`, else the last line
    // the command said. `ran` names the protocol failure more closely.
    int Ended(int exit, const std::string& text = "", const RunResult* ran = nullptr);

private:
    class Tee;
    RunRecord record_;
    std::unique_ptr<Tee> outTee_, errTee_;
    std::ostream out_, err_;
    Io io_;
    std::string okWord_;
};

// What `program` was asked to do, beside the code file.
struct ProgramJob {
    std::string FB;
    int port = 0; // 0: the cable lookup
    std::optional<std::string> verify;
    std::optional<std::string> trace;
};

// Programs one remote with the loaded code file: the exit code of `program`; `record` is told
// the run, `ran` gets what the run found.
using ProgramOnce = std::function<int(Io& io, RunRecord& record, RunResult& ran)>;

// `program --repeat`: remote after remote until interrupted; the exit code.
int RunBench(Io& io, const ProgramJob& job, const std::string& codeFile,
             const ProgramOnce& programme);

// The commands: each returns the exit code and throws UsageError for a usage error.
int runCheck(Io& io, const Args& a);
int runFrames(Io& io, const Args& a);
int runProgram(Io& io, const Args& a);
int runInfo(Io& io, const Args& a);
int runPorts(Io& io, const Args& a);
int runFetch(Io& io, const Args& a);
int runLog(Io& io, const Args& a); // `log`, `log N`, `log [N] --export FILE`

struct ReadOutReport {
    int exit = kOk;
    info::ReadOutResult result;
};

// The read-out of `info` and `program --verify` on `port` (below 1: the cable lookup), its
// errors told as `what`'s; `record` (may be nullptr) is told the exchange.
ReadOutReport readOut(Io& io, int port, const char* what, RunRecord* record = nullptr);

// The designation, or why the remote has none.
std::string designationText(const info::ReadOutResult& r);

} // namespace corvana::cli
