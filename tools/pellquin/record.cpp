// The run log of a command: what it printed goes into the log beside the exchange.
#include <streambuf>

#include "tools/pellquin/commands.h"

namespace corvana::cli {

// Passes everything on to `target` and tells the record each finished line. A carriage
// return starts the line afresh and terminal controls are left out, so a progress bar that
// redraws itself leaves only what it showed last.
class CommandRecord::Tee : public std::streambuf {
public:
    Tee(std::ostream& target, RunRecord& record) : target_(target), record_(record) {}
    ~Tee() override { finishLine(); }

    void finishLine() {
        if (!line_.empty())
            record_.Shown(line_);
        line_.clear();
    }

protected:
    int overflow(int c) override {
        if (c == traits_type::eof())
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        target_.put(ch);
        take(ch);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        target_.write(s, n);
        for (std::streamsize i = 0; i < n; ++i)
            take(s[i]);
        return n;
    }
    int sync() override {
        target_.flush();
        return 0;
    }

private:
    void take(char ch) {
        if (inControl_) {
            // ESC [ parameters, ended by a letter
            if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'))
                inControl_ = false;
            return;
        }
        if (ch == '\x1b')
            inControl_ = true;
        else if (ch == '\n')
            finishLine();
        else if (ch == '\r')
            line_.clear();
        else
            line_ += ch;
    }

    std::ostream& target_;
    RunRecord& record_;
    std::string line_;
    bool inControl_ = false;
};

CommandRecord::CommandRecord(Io& io, const std::string& what, const std::string& order,
                             std::string okWord)
    : record_(what, order), outTee_(std::make_unique<Tee>(io.out, record_)),
      errTee_(std::make_unique<Tee>(io.err, record_)), out_(outTee_.get()),
      err_(errTee_.get()), io_{out_,     err_,           io.terminal,   io.columns,
                               io.clock, io.interrupted, io.stopsGently},
      okWord_(std::move(okWord)) {}

CommandRecord::~CommandRecord() {
    out_.flush();
    err_.flush();
}

int CommandRecord::Ended(int exit, const std::string& text, const RunResult* ran) {
    out_.flush();
    err_.flush();
    outTee_->finishLine();
    errTee_->finishLine();
    std::string word;
    switch (exit) {
    case kOk:
        word = okWord_;
        break;
    case kBadFile:
        word = "bad code file";
        break;
    case kNoHardware:
        word = "no hardware";
        break;
    case kWrongHardware:
        word = "wrong hardware";
        break;
    case kProtocol:
        word = "protocol failure";
        if (ran && ran->outcome == RunOutcome::Programmed && !ran->wrong.empty())
            word = "Fehler(3)";
        else if (ran && ran->outcome != RunOutcome::Programmed)
            word = OutcomeWord(ran->outcome);
        break;
    case kNetwork:
        word = "network failure";
        break;
    case kVerifyFailed:
        word = "verify failed";
        break;
    case kInterrupted:
        word = "interrupted";
        break;
    default:
        word = "exit " + std::to_string(exit);
        break;
    }
    if (text.empty())
        record_.Result(word);
    else
        record_.Result(word, text);
    return exit;
}

} // namespace corvana::cli
