#pragma once
// The run log: one text file per programming run and per read-out, kept for support in
// <state>/corvana/runs (see platform/statedir.h), the newest 100 of them.
//
//   RunLog log("12345");                       // <time>_12345.log, mode 0600, folder 0700
//   log.Secret(sessionId);                     // never written, "****" in its place
//   log.Line("send", "02 24 30 32 03");        // "2026-12-10 11:18:56.123 send   02 24 ..."
//
// Every line goes to the file at once, in one write, so a crash or a pulled cable leaves
// everything up to that moment. Writing the log never changes the run: a log that cannot be
// created or written (no state folder, full disk, read-only folder) is dropped silently, and
// every later call does nothing.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvana {

// <state directory>/corvana/runs; "" when there is no state directory.
std::string RunLogFolder();

class RunLog {
public:
    static constexpr int kKept = 100;
    // Width the tag is padded to; the text starts after it and one blank.
    static constexpr size_t kTagWidth = 6;

    // Opens a new log named after the time and `order` (letters, digits and "-" kept, the rest
    // dropped; "none" when nothing is left) in `folder`, and removes the oldest logs there
    // beyond kKept. An empty `folder` opens nothing.
    explicit RunLog(std::string_view order, const std::string& folder = RunLogFolder());
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // A text that must never reach the file, such as a session identifier: replaced by "****"
    // wherever it appears. Texts shorter than four characters are not taken, since they
    // would blot out ordinary words.
    void Secret(const std::string& text);
    // One line: local time with milliseconds, `tag` padded to kTagWidth, `text` with control
    // characters written as \xNN (trailing NUL bytes dropped).
    void Line(std::string_view tag, std::string_view text);

private:
    int fd_ = -1;
    std::string path_;
    std::vector<std::string> secrets_;
};

// One line of a log taken apart.
struct RunLogLine {
    std::string stamp; // "2026-12-10 11:18:56.123"
    std::string tag;
    std::string text;
};
// False for a line that does not begin with a time stamp.
bool ParseRunLogLine(const std::string& line, RunLogLine& out);
// Milliseconds from 1970 by the calendar of the stamp (its local time taken as given); none
// for a stamp that is not one.
std::optional<long long> RunLogStampMillis(const std::string& stamp);

// What the list of runs shows of one log.
struct RunLogSummary {
    std::string path;
    std::string started;    // stamp of the first line, without milliseconds
    std::string what;       // the "run" line: what ran, and from where
    std::string order;      // the order number, or "" (a read-out)
    std::string deviceType; // "02 DVD", or ""
    std::string outcome;    // the first "result" line's word(s) before ":"; "unfinished" without
    bool reported = false;  // a completion report went out afterwards
    std::optional<double> seconds; // first line to the first result line
};

// The logs in `folder`, newest first.
std::vector<std::string> RunLogFiles(const std::string& folder = RunLogFolder());
RunLogSummary SummarizeRunLog(const std::string& path);

} // namespace corvana
