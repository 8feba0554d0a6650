#pragma once
// The programming run without a window: find the cable's port, check that a remote of the
// ordered device type answers, prepare it, and write the image from se_Address1 to se_address2
// into it in 64-byte blocks. The wizard runs it with its own device link and shows what it
// reports on its pages and in message boxes; the technician's command line prints it.
//
//   device::RemoteLink link(&Memo1, &Memo2);
//   ProgrammingRun run(link, image, &Memo1, &Memo2);
//   RunDisplay quiet;                                 // shows nothing
//   if (run.OpenFernbedienung(FB, quiet) == RunOutcome::Prepared)
//       run.SendenHEXFile(quiet);
//   run.CloseConn();
//
// The waits pump the event loop, so the caller's other handlers run during them; the
// display's Abandoned() is asked after every wait and before every block, and a run whose
// caller has gone away stops there without showing anything more.
//
// Errors that are not outcomes leave the run as exceptions: the port cannot be opened or fails
// while in use (EComPortError; the port may then be left open), a "PortName" or an address
// text that is not a number (EConvertError).

#include <string>
#include <vector>

#include "device/remotelink.h"
#include "util/stringlist.h"
#include "wizard/logic/memoryimage.h"

namespace corvana {

// How a run, or the part of it that was asked for, ended.
enum class RunOutcome {
    Prepared,      // OpenFernbedienung: check and prepare acknowledged; the port is open
    NoBridge,      // no bridge found, or no port recorded for it; nothing opened
    NoAnswer,      // no five-byte answer to the device-type check ("no hardware")
    WrongHardware, // another answer to it
    PrepareSilent, // no answer to the prepare command: "Fehler(6)"
    PrepareWrong,  // another answer to it: "Fehler(7)"
    AddressError,  // SendenHEXFile: start not below end; nothing sent
    BlockSilent,   // a block got no answer: "Fehler(2)"; the transfer ended there
    Programmed,    // every block sent and the port closed; wrong replies are counted apart
    Abandoned,     // the display reported the run abandoned; nothing more was sent or shown
};

// The three outcomes the wizard presents as its hardware failure.
bool IsHardwareFailure(RunOutcome outcome);

// The two lines, German and English, that tell the user no remote of the device type named
// `deviceTypeName` answers, or that one of another type does.
struct FailureTexts {
    std::string german;
    std::string english;
};
FailureTexts HardwareFailureTexts(bool wrongHardware, const std::string& deviceTypeName);

// What the caller shows at each point of a run; each does nothing unless overridden.
class RunDisplay {
public:
    virtual ~RunDisplay() = default;
    // No remote answering (no bridge, no port, no answer to the check), or one of another
    // device type. The wizard sets its failure texts and enters the closing page.
    virtual void HardwareFailure(bool wrongHardware) { (void)wrongHardware; }
    // A modal message: "Fehler(2)", "Fehler(3)", "Fehler(6)", "Fehler(7)" or
    // "Start & End Address Error!!!!".
    virtual void Message(const std::string& text) { (void)text; }
    // Asked after each wait and before each block; true ends the run quietly.
    virtual bool Abandoned() { return false; }
    // The transfer of `total` blocks begins.
    virtual void TransferStarted(int total) { (void)total; }
    // `frame`, block `index` (from 1), is about to be sent.
    virtual void BlockSending(int index, int total, const std::string& frame) {
        (void)index;
        (void)total;
        (void)frame;
    }
    // Block `done` of `total` has been answered, rightly or not (a wrong reply was reported
    // through Message first).
    virtual void BlockDone(int done, int total) {
        (void)done;
        (void)total;
    }
    // Every block went out and the port is closed (the wizard's finished page).
    virtual void Finished() {}
};

// The blocks the range S..E (inclusive) takes: (E - S) div 64 + 1; 0 unless S < E, since the
// run refuses such a range.
int BlockCount(int start, int end);

// The range to program, from the image's address texts (EConvertError for a text that is not
// hexadecimal).
struct ProgramRange {
    int start = 0;
    int end = 0;
    bool valid() const { return start < end; }
    int blocks() const { return BlockCount(start, end); }
};
ProgramRange RangeOf(const MemoryImage& image);

// The block frame that starts at `A` (on its row's label, the cells as stored, filler FF after
// `E`); A is moved past the bytes taken. `last` tells whether A went past E.
std::string NextBlockFrame(const ImageGrid& grid, int& A, int E, bool& last);

// Every frame a run would send for the image: the device-type check for `FB` and the prepare
// command (only when `FB` is given), then the blocks. Empty blocks when the range is not valid.
std::vector<std::string> PlannedFrames(const MemoryImage& image, const std::string* FB);

// What one run found, for a caller that reports on it.
struct RunResult {
    RunOutcome outcome = RunOutcome::NoBridge;
    int port = -1;          // the COM port number used; below 1 for none
    int blocks = 0;         // blocks in the range
    int sent = 0;           // block frames sent
    std::vector<int> wrong; // numbers (from 1) of the blocks whose reply was not the expected one
};

class ProgrammingRun {
public:
    // All references are the caller's and must outlive the run. `memo1` receives each block
    // frame as the wizard logs it, `memo2` is emptied at the start of each run; either may be
    // nullptr.
    ProgrammingRun(device::RemoteLink& link, const MemoryImage& image, StringList* memo1,
                   StringList* memo2)
        : link_(link), image_(image), memo1_(memo1), memo2_(memo2) {}
    ProgrammingRun(const ProgrammingRun&) = delete;
    ProgrammingRun& operator=(const ProgrammingRun&) = delete;

    // A port number of 1 or more is used instead of the bridge discovery (a technician naming
    // the port); 0 finds it as the wizard does.
    int givenPort = 0;

    // Find and open the port, send the device-type check for `FB` and the prepare command.
    // Prepared leaves the port open; so does every outcome after the open.
    RunOutcome OpenFernbedienung(const std::string& FB, RunDisplay& display);
    // Expects the port open and the remote prepared. Closes the port only when every block
    // went out (Programmed).
    RunOutcome SendenHEXFile(RunDisplay& display);
    // Closes the port (nothing happens when it is closed).
    void CloseConn();

    // OpenFernbedienung, SendenHEXFile when prepared, CloseConn: the whole run as the
    // download operation makes it. The port is closed on every way out, also when an error is
    // raised.
    RunResult Programme(const std::string& FB, RunDisplay& display);

    // Of the last OpenFernbedienung and SendenHEXFile.
    const RunResult& result() const { return result_; }

private:
    device::RemoteLink& link_;
    const MemoryImage& image_;
    StringList* memo1_;
    StringList* memo2_;
    RunResult result_;
};

} // namespace corvana
