#include "runrecord/runrecord.h"

#include <cstdio>
#include <filesystem>

#include "device/frames.h"

namespace corvana {
namespace {

std::string seconds(device::Millis span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(span.count()) / 1000.0);
    return text;
}

// The portal session travels in the path, between "(S(" and "))".
std::string withoutSession(std::string line) {
    const size_t open = line.find("(S(");
    if (open == std::string::npos)
        return line;
    const size_t from = open + 3;
    const size_t close = line.find("))", from);
    line.replace(from, (close == std::string::npos ? line.size() : close) - from, "****");
    return line;
}

} // namespace

std::string HexPairs(const std::string& bytes) {
    std::string dump = device::DumpText(bytes, bytes.size());
    if (!dump.empty())
        dump.pop_back();
    return dump;
}

RunRecord::RunRecord(const std::string& what, const std::string& order, const std::string& folder)
    : log_(order, folder) {
    line("run", what);
}

void RunRecord::line(const char* tag, const std::string& text) noexcept {
    try {
        log_.Line(tag, text);
    } catch (...) {
        // Out of memory for a log line: the run goes on without it.
    }
}

void RunRecord::WatchFtp(net::FtpClient& client) {
    Secret(client.Password);
    client.SetObserver(this);
}

void RunRecord::Order(const OrderPieces& o) {
    // A piece the caller does not know (the command line has no designation) is left out.
    if (!o.number.empty())
        line("order", "number " + o.number);
    if (!o.designation.empty())
        line("order", "designation " + o.designation);
    line("order", "device type " + o.deviceTypeCode + " " + o.deviceTypeName);
    if (!o.codeFile.empty())
        line("order", "code file " + o.codeFile);
}

void RunRecord::Loaded(const HexLoadResult& r, const MemoryImage& image, const StringList& memo1,
                       int fromLine) {
    std::string text = std::to_string(r.records) + " records, end address " + image.se_address2;
    const auto sum = LoggedImageSum(memo1, fromLine);
    text += ", image sum " + sum.value_or("none");
    if (r.errorLine > 0)
        text += "; stopped at line " + std::to_string(r.errorLine) + ": " + r.errorText;
    if (r.droppedBytes > 0)
        text += "; " + std::to_string(r.droppedBytes) + " data bytes above 7FFF";
    line("load", text);
}

void RunRecord::Shown(const std::string& text) {
    lastShown_ = text;
    line("shown", text);
}

void RunRecord::Result(const std::string& word) {
    Result(word, lastShown_);
}

void RunRecord::Result(const std::string& word, const std::string& text) {
    result_ = true;
    line("result", text.empty() ? word : word + ": " + text);
}

void RunRecord::Report(const std::string& text) {
    line("report", text);
}

void RunRecord::HttpFailed(const std::string& error) {
    line("http<", "no response: " + error);
}

void RunRecord::ReadOutEnded(const info::ReadOutResult& r) {
    using info::Outcome;
    switch (r.outcome) {
    case Outcome::Identified:
        Result("identified",
               (r.Designation.empty() ? std::string("(no designation)") : r.Designation) +
                   ", hardware version " + r.HardwareVersion);
        break;
    case Outcome::NoBridge:
    case Outcome::OpenFailed:
    case Outcome::NoReadOutAnswer:
        // The window swallows the port's error; support wants to know it.
        Result("no hardware",
               "Keine Hardware angeschlossen! / No Hardware connected!" +
                   (r.outcome == Outcome::OpenFailed ? " (COM" + std::to_string(r.port) +
                                                           " cannot be opened: " + r.openError + ")"
                                                     : std::string()));
        break;
    case Outcome::NoTypeAcknowledged:
        Result("no device type", "every probe answered, none acknowledged; the fields stay empty");
        break;
    case Outcome::ProbeUnanswered:
        Result("probe unanswered",
               "no answer to probe 0" + std::to_string(r.probes - 1) + "; the fields stay empty");
        break;
    case Outcome::AlreadyRunning:
        break;
    }
}

void RunRecord::DiscoveryLine(const std::string& text) {
    line("find", text);
}

void RunRecord::FrameSent(const std::string& frame) {
    line("send", HexPairs(frame));
}

void RunRecord::WaitEnded(const device::WaitReport& w) {
    using End = device::WaitReport::End;
    const std::string awaited = std::to_string(w.length) + " bytes awaited, time-out " +
                                std::to_string(w.timeout) + ", " + seconds(w.elapsed);
    const std::string got = w.rx.empty() ? "nothing came" : "got " + HexPairs(w.rx);
    if (w.end == End::Received)
        line("reply", HexPairs(w.rx) + "  (" + awaited + ")");
    else if (w.end == End::TimedOut)
        line("wait", "no answer: " + awaited + "; " + got);
    else
        line("wait", "port error: " + awaited + "; " + got);
}

void RunRecord::FtpSent(const std::string& text) {
    if (text.size() >= 4 && (text.compare(0, 4, "PASS") == 0 || text.compare(0, 4, "pass") == 0))
        line("ftp>", "PASS ****");
    else
        line("ftp>", text);
}

void RunRecord::FtpReceived(const std::string& text) {
    line("ftp<", text);
}

void RunRecord::HttpRequest(const std::string& host, const std::string& requestLine) {
    line("http>", withoutSession(requestLine) + "  (host " + host + ")");
}

void RunRecord::HttpStatus(const std::string& statusLine) {
    line("http<", statusLine);
}

std::string OutcomeWord(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Prepared:
        return "prepared";
    case RunOutcome::NoBridge:
    case RunOutcome::NoAnswer:
        return "no hardware";
    case RunOutcome::WrongHardware:
        return "wrong hardware";
    case RunOutcome::PrepareSilent:
        return "Fehler(6)";
    case RunOutcome::PrepareWrong:
        return "Fehler(7)";
    case RunOutcome::AddressError:
        return "address error";
    case RunOutcome::BlockSilent:
        return "Fehler(2)";
    case RunOutcome::Programmed:
        return "programmed";
    case RunOutcome::Abandoned:
        return "abandoned";
    }
    return "unknown";
}

std::optional<std::string> LoggedImageSum(const StringList& memo1, int fromLine) {
    const auto& lines = memo1.lines();
    const size_t from = fromLine > 0 ? static_cast<size_t>(fromLine) : 0;
    for (size_t i = lines.size(); i-- > from;) {
        if (lines[i].rfind("SE_adress1", 0) != 0)
            continue;
        if (i + 1 < lines.size() && lines[i + 1].size() == 4 &&
            lines[i + 1].find_first_not_of("0123456789ABCDEF") == std::string::npos)
            return lines[i + 1];
        return std::nullopt;
    }
    return std::nullopt;
}

std::string OrderNumberOfCodeFile(const std::string& path) {
    const std::string stem = std::filesystem::path(path).stem().string();
    const size_t cut = stem.find('_');
    if (cut != std::string::npos && cut + 1 < stem.size() &&
        stem.find_first_not_of("0123456789", cut + 1) == std::string::npos)
        return stem.substr(cut + 1);
    return stem;
}

} // namespace corvana
