#pragma once
// The run log of one programming run or read-out, fed as the run goes by the hooks of the
// libraries it uses: the device link's frames and waits, the FTP client's dialogue, the HTTP
// client's request and status lines. The windows and the command line add what only they
// know: the order, the loader's result, the texts the user was shown and how the run ended.
//
//   RunRecord record("programming run, wizard", RemoteNumber(url));
//   record.Secret(PortalSessionId(url));        // never written
//   record.WatchLink(Link);                     // discovery lines, frames, waits
//   record.WatchFtp(session.Client);            // commands (PASS masked) and replies
//   ...
//   record.Shown("Fehler(2)");
//   record.Result(OutcomeWord(outcome));        // "result Fehler(2): Fehler(2)"
//   record.UnwatchLink(Link);                   // before the record goes
//
// Lines (tag, text): run, order, ftp> / ftp<, load, find, send, reply / wait, http> / http<,
// shown, result, report. Frames and replies are written as hexadecimal byte pairs.
// Nothing here raises: a record whose log could not be opened watches and writes nothing.

#include <optional>
#include <string>

#include "device/linkobserver.h"
#include "device/remotelink.h"
#include "info/readout.h"
#include "net/ftpclient.h"
#include "net/httpclient.h"
#include "util/runlog.h"
#include "util/stringlist.h"
#include "wizard/logic/hexloader.h"
#include "wizard/logic/memoryimage.h"
#include "wizard/logic/programmingrun.h"

namespace corvana {

// The pieces of an order a log names: never the portal session.
struct OrderPieces {
    std::string number;
    std::string designation;
    std::string deviceTypeCode;
    std::string deviceTypeName;
    std::string codeFile;
};

class RunRecord : public device::LinkObserver, public net::FtpObserver, public net::HttpObserver {
public:
    // `what` goes into the first line ("programming run, wizard"); `order` names the file.
    RunRecord(const std::string& what, const std::string& order,
              const std::string& folder = RunLogFolder());
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    RunLog& Log() { return log_; }
    bool IsOpen() const { return log_.IsOpen(); }
    void Secret(const std::string& text) { log_.Secret(text); }

    void WatchLink(device::RemoteLink& link) { link.setObserver(this); }
    void UnwatchLink(device::RemoteLink& link) {
        if (link.observer() == this)
            link.setObserver(nullptr);
    }
    // Its password is a secret from then on.
    void WatchFtp(net::FtpClient& client);
    void WatchHttp(net::HttpClient& client) { client.SetObserver(this); }

    void Order(const OrderPieces& order);
    // The loader's result: records, end address, and the image sum it wrote into `memo1` at or
    // after line `fromLine` (the lines of this load).
    void Loaded(const HexLoadResult& result, const MemoryImage& image, const StringList& memo1,
                int fromLine);
    // A text the user was shown: a message box, a page's two lines, a command line's message.
    void Shown(const std::string& text);
    // How the run ended, in a word or two (the list of runs shows it), with the text the user
    // was shown last; or with `text`.
    void Result(const std::string& word);
    void Result(const std::string& word, const std::string& text);
    bool HasResult() const { return result_; }
    const std::string& LastShown() const { return lastShown_; }
    // How a completion report ended: "sent: ..." or "failed: ...".
    void Report(const std::string& text);
    // The end of a read-out, as the device info window shows it.
    void ReadOutEnded(const info::ReadOutResult& result);
    // A statistics request that got no status line (the connection failed).
    void HttpFailed(const std::string& error);

    void DiscoveryLine(const std::string& line) override;
    void FrameSent(const std::string& frame) override;
    void WaitEnded(const device::WaitReport& report) override;
    void FtpSent(const std::string& line) override;
    void FtpReceived(const std::string& line) override;
    void HttpRequest(const std::string& host, const std::string& requestLine) override;
    void HttpStatus(const std::string& statusLine) override;

private:
    void line(const char* tag, const std::string& text) noexcept;

    RunLog log_;
    std::string lastShown_;
    bool result_ = false;
};

// The word a programming run's outcome gets in the result line: "programmed", "no hardware",
// "wrong hardware", "Fehler(6)", "Fehler(7)", "Fehler(2)", "address error", "abandoned".
std::string OutcomeWord(RunOutcome outcome);

// The image sum the loader wrote after its end record's line, looking at the lines from
// `fromLine` on; none when there is no end record or it refused to sum.
std::optional<std::string> LoggedImageSum(const StringList& memo1, int fromLine = 0);

// The order number in a code file's name, the digits after its prefix ("PQD_12345.hex" gives
// "12345"); otherwise the name without folder and extension.
std::string OrderNumberOfCodeFile(const std::string& path);

// Bytes as hexadecimal pairs with one blank between them.
std::string HexPairs(const std::string& bytes);

} // namespace corvana
