// `pellquin log`: the run logs the windows and the command line leave, listed, shown, exported.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/statedir.h"
#include "platform/versioninfo.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/commands.h"
#include "util/runlog.h"
#include "util/version.h"

namespace corvana::cli {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int parseNumber(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 6 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int n = digits ? std::stoi(text) : 0;
    if (n < 1)
        throw UsageError("log wants a run number N from 1 (the last run), not '" + text + "'");
    return n;
}

std::string cell(std::string text, size_t width) {
    if (text.size() > width)
        text = text.substr(0, width - 1) + "~";
    text.append(width - text.size(), ' ');
    return text;
}

// "programming run, wizard" gives "wizard".
std::string from(const std::string& what) {
    const size_t comma = what.find(", ");
    return comma == std::string::npos ? what : what.substr(comma + 2);
}

void list(Io& io, const std::vector<std::string>& files) {
    io.out << "  N  time                 order   device type  outcome                   duration"
              "  from\n";
    int n = 0;
    for (const auto& path : files) {
        const RunLogSummary s = SummarizeRunLog(path);
        std::string outcome = s.outcome;
        if (s.reported)
            outcome += ", reported";
        char secs[24] = "";
        if (s.seconds)
            std::snprintf(secs, sizeof secs, "%.1f s", *s.seconds);
        char number[16];
        std::snprintf(number, sizeof number, "%3d", ++n);
        io.out << number << "  " << cell(s.started.empty() ? "?" : s.started, 19) << "  "
               << cell(s.order.empty() ? "-" : s.order, 6) << "  "
               << cell(s.deviceType.empty() ? "-" : s.deviceType, 11) << "  " << cell(outcome, 24)
               << "  " << cell(secs, 8) << "  " << from(s.what) << '\n';
    }
    io.out << std::flush;
}

std::string now() {
    std::tm tm{};
    platform::localCalendarTime(std::time(nullptr), tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

} // namespace

int runLog(Io& io, const Args& a) {
    const std::vector<std::string>& positional = a.positional;
    const std::string* exportPath = a.get("--export");
    if (positional.size() > 1)
        throw UsageError("log takes one run number N at most");
    const int n = positional.empty() ? 1 : parseNumber(positional[0]);
    const std::string folder = RunLogFolder();
    const std::vector<std::string> files = RunLogFiles(folder);
    const auto error = [&](const std::string& text) {
        io.err << "pellquin: " << text << '\n' << std::flush;
        return kBadFile;
    };
    if (files.empty()) {
        if (positional.empty() && !exportPath) {
            io.out << "no runs logged yet (" << (folder.empty() ? "no state folder" : folder)
                   << ")\n"
                   << std::flush;
            return kOk;
        }
        return error("no runs logged yet (" + (folder.empty() ? "no state folder" : folder) + ")");
    }
    if (positional.empty() && !exportPath) {
        list(io, files);
        return kOk;
    }
    if (static_cast<size_t>(n) > files.size())
        return error("there is no run " + std::to_string(n) + ": the log holds " +
                     std::to_string(files.size()) + " (1 is the last)");
    const std::string& path = files[static_cast<size_t>(n) - 1];
    const std::string content = slurp(path);
    if (!exportPath) {
        io.out << content << std::flush;
        return kOk;
    }

    std::ostringstream text;
    text << "Corvana Pellquin run log " << std::filesystem::path(path).filename().string()
         << "\nexported " << now() << " by pellquin "
         << GetFileVersionString(platform::runningExecutablePath())
         << "\nIt holds no passcode, no login address and no portal session.\n\n"
         << content;
    if (*exportPath == "-") {
        io.out << text.str() << std::flush;
        return kOk;
    }
    std::ofstream out(*exportPath, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out)
        return error(*exportPath + ": cannot be written");
    io.out << "run " << n << " (" << std::filesystem::path(path).filename().string() << ") into "
           << *exportPath << '\n'
           << std::flush;
    return kOk;
}

} // namespace corvana::cli
