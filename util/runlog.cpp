#include "util/runlog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "platform/statedir.h"
#include "platform/sysio.h"

namespace corvana {
namespace {

namespace fs = std::filesystem;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Ours: "YYYYMMDD-HHMMSS-mmm_....log". Other files in the folder are never touched.
bool isLogName(const std::string& name) {
    if (name.size() < 25 || name.compare(name.size() - 4, 4, ".log") != 0)
        return false;
    for (size_t i = 0; i < 19; ++i) {
        const bool dash = i == 8 || i == 15;
        if (dash ? name[i] != '-' : !isDigit(name[i]))
            return false;
    }
    return name[19] == '_';
}

std::string orderPart(std::string_view order) {
    std::string part;
    for (const char c : order)
        if (isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-')
            part += c;
    if (part.size() > 32)
        part.resize(32);
    return part.empty() ? "none" : part;
}

struct Now {
    std::tm tm{};
    int millis = 0;
};

Now now() {
    using namespace std::chrono;
    const auto t = system_clock::now();
    Now n;
    n.millis = static_cast<int>(duration_cast<milliseconds>(t.time_since_epoch()).count() % 1000);
    platform::localCalendarTime(system_clock::to_time_t(t), n.tm);
    return n;
}

std::string stampOf(const Now& n) {
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", n.tm.tm_year + 1900,
                  n.tm.tm_mon + 1, n.tm.tm_mday, n.tm.tm_hour, n.tm.tm_min, n.tm.tm_sec, n.millis);
    return text;
}

std::string fileStampOf(const Now& n) {
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", n.tm.tm_year + 1900,
                  n.tm.tm_mon + 1, n.tm.tm_mday, n.tm.tm_hour, n.tm.tm_min, n.tm.tm_sec, n.millis);
    return text;
}

std::string printable(std::string_view text) {
    while (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}

void prune(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isLogName(name))
            names.push_back(name);
    }
    if (names.size() <= static_cast<size_t>(RunLog::kKept))
        return;
    std::sort(names.begin(), names.end());
    const size_t drop = names.size() - static_cast<size_t>(RunLog::kKept);
    for (size_t i = 0; i < drop; ++i)
        fs::remove(fs::path(folder) / names[i], ec);
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

} // namespace

std::string RunLogFolder() {
    const std::string state = platform::userStateDirectory();
    if (state.empty())
        return {};
    return (fs::path(state) / "corvana" / "runs").string();
}

RunLog::RunLog(std::string_view order, const std::string& folder) {
    if (folder.empty() || !platform::makePrivateDirectory(folder))
        return;
    // Two runs in the same millisecond: the later one takes the next, so that the names keep
    // the order of the runs.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string path =
            (fs::path(folder) / (fileStampOf(now()) + "_" + orderPart(order) + ".log")).string();
        fd_ = platform::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             0600);
        if (fd_ >= 0) {
            path_ = path;
            break;
        }
        if (errno != EEXIST)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (fd_ >= 0)
        prune(folder);
}

RunLog::~RunLog() {
    if (fd_ >= 0)
        platform::close(fd_);
}

void RunLog::Secret(const std::string& text) {
    if (text.size() >= 4 && std::find(secrets_.begin(), secrets_.end(), text) == secrets_.end())
        secrets_.push_back(text);
}

void RunLog::Line(std::string_view tag, std::string_view text) {
    if (fd_ < 0)
        return;
    std::string body(text);
    for (const auto& secret : secrets_)
        for (size_t at = body.find(secret); at != std::string::npos; at = body.find(secret, at + 4))
            body.replace(at, secret.size(), "****");
    std::string line = stampOf(now()) + " " + std::string(tag);
    line.append(tag.size() < kTagWidth ? kTagWidth - tag.size() : 0, ' ');
    line += " " + printable(body) + "\n";
    if (!platform::writeAll(fd_, line.data(), line.size())) {
        // A log with a hole in it would mislead; what was written up to here stays.
        platform::close(fd_);
        fd_ = -1;
    }
}

bool ParseRunLogLine(const std::string& line, RunLogLine& out) {
    // "YYYY-MM-DD HH:MM:SS.mmm " then the tag.
    static const char* kShape = "dddd-dd-dd dd:dd:dd.ddd ";
    if (line.size() < 25)
        return false;
    for (size_t i = 0; kShape[i]; ++i)
        if (kShape[i] == 'd' ? !isDigit(line[i]) : line[i] != kShape[i])
            return false;
    out.stamp = line.substr(0, 23);
    const size_t tagEnd = line.find(' ', 24);
    out.tag = line.substr(24, tagEnd == std::string::npos ? std::string::npos : tagEnd - 24);
    const size_t textAt = 24 + std::max(out.tag.size(), RunLog::kTagWidth) + 1;
    out.text = textAt < line.size() ? line.substr(textAt) : std::string();
    return true;
}

std::optional<long long> RunLogStampMillis(const std::string& stamp) {
    int y, mo, d, h, mi, s, ms;
    if (stamp.size() != 23 ||
        std::sscanf(stamp.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms) !=
            7 ||
        mo < 1 || mo > 12 || d < 1 || d > 31)
        return std::nullopt;
    const long long days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    return ((days * 24 + h) * 60 + mi) * 60000LL + s * 1000LL + ms;
}

std::vector<std::string> RunLogFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    if (folder.empty())
        return names;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isLogName(name) && it->is_regular_file(ec))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), std::greater<>());
    std::vector<std::string> paths;
    for (const auto& n : names)
        paths.push_back((fs::path(folder) / n).string());
    return paths;
}

RunLogSummary SummarizeRunLog(const std::string& path) {
    RunLogSummary s;
    s.path = path;
    s.outcome = "unfinished";
    std::ifstream in(path, std::ios::binary);
    std::optional<long long> first;
    bool haveResult = false;
    for (std::string raw; std::getline(in, raw);) {
        RunLogLine l;
        if (!ParseRunLogLine(raw, l))
            continue;
        if (!first) {
            first = RunLogStampMillis(l.stamp);
            s.started = l.stamp.substr(0, 19);
        }
        if (l.tag == "run" && s.what.empty()) {
            s.what = l.text;
        } else if (l.tag == "order") {
            if (l.text.rfind("number ", 0) == 0)
                s.order = l.text.substr(7);
            else if (l.text.rfind("device type ", 0) == 0)
                s.deviceType = l.text.substr(12);
        } else if (l.tag == "result" && !haveResult) {
            haveResult = true;
            s.outcome = l.text.substr(0, l.text.find(':'));
            const auto at = RunLogStampMillis(l.stamp);
            if (first && at)
                s.seconds = static_cast<double>(*at - *first) / 1000.0;
        } else if (l.tag == "report" && l.text.rfind("sent", 0) == 0) {
            s.reported = true;
        }
    }
    return s;
}

} // namespace corvana
