#pragma once
// The run logs a test's runs leave, read back: each in its own state folder (XDG_STATE_HOME
// pointed at a scratch directory for the test's lifetime).

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/scratchdir.h"
#include "util/runlog.h"

namespace corvana::test {

struct LoggedRun {
    std::string path;
    std::string text;
    std::vector<RunLogLine> lines;

    // The frames of the "send" lines, as bytes.
    std::vector<std::string> sent() const {
        std::vector<std::string> frames;
        for (const auto& l : lines) {
            if (l.tag != "send")
                continue;
            std::string bytes;
            std::istringstream pairs(l.text);
            for (std::string p; pairs >> p;)
                bytes += static_cast<char>(std::strtol(p.c_str(), nullptr, 16));
            frames.push_back(bytes);
        }
        return frames;
    }
    // The texts of the lines tagged `tag`.
    std::vector<std::string> texts(const std::string& tag) const {
        std::vector<std::string> out;
        for (const auto& l : lines)
            if (l.tag == tag)
                out.push_back(l.text);
        return out;
    }
};

inline LoggedRun ReadRunLog(const std::string& path) {
    LoggedRun run;
    run.path = path;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    run.text = s.str();
    std::istringstream lines(run.text);
    for (std::string l; std::getline(lines, l);) {
        RunLogLine parsed;
        if (ParseRunLogLine(l, parsed))
            run.lines.push_back(parsed);
    }
    return run;
}

class StateFolder {
public:
    std::vector<std::string> logs() const { return RunLogFiles(RunLogFolder()); }
    // The newest log; an empty one when there is none.
    LoggedRun newest() const {
        const auto all = logs();
        return all.empty() ? LoggedRun{} : ReadRunLog(all.front());
    }
    const std::string& path() const { return dir.path(); }

private:
    TempDir dir;
    ScopedEnv env{"XDG_STATE_HOME", dir.path()};
};

} // namespace corvana::test
