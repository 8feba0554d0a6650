#pragma once
// The device read-out, without a window: what a connected remote is programmed as. The device
// info window shows it; a command line can print it. Both run it on a device link of their
// own and tell it, through a ReadOutDisplay, what to show at each point of the exchange.
//
//   device::RemoteLink link;                 // no transcript
//   info::DeviceReadOut readOut(link);
//   info::ReadOutDisplay quiet;              // shows nothing
//   const info::ReadOutResult r = readOut.OpenFernbedienung(quiet);
//   if (r.outcome == info::Outcome::Identified) print(r.Designation, r.HardwareVersion);
//
// One read-out: find the bridge's port, open it (an open error is swallowed into the
// no-hardware outcome), send the read-out frame 02 25 30 03, wait for seven bytes (about 6 s)
// and decode the code number from them, then probe the device types 00 to 09 with the
// device-type check until one is acknowledged, and close the port.
//
// Errors that are not swallowed leave OpenFernbedienung as exceptions: a reply whose decoded
// characters are not hexadecimal (EConvertError; the port is then left open, and a later
// read-out goes on with it), a "PortName" that is not a number (EConvertError), a port that
// fails while in use (EComPortError). A caller that stops there closes link.ComPort1 itself.

#include <array>
#include <string>
#include <string_view>

#include "device/remotelink.h"

namespace corvana::info {

// A device type the read-out probes for, in probing order.
struct ProbedType {
    std::string code;            // the two characters of the device-type check, "00" to "09"
    std::string HardwareVersion; // what the remote is shown as: "TV1", ...
    std::string TypeNumber;      // its number in the designation: "81", ...; empty if none
};

// 00 TV1 81, 01 VCR1 82, 02 DVD1 85, 03 STB1 83; 04 to 09 are shown as their digit and
// carry no type number.
const std::array<ProbedType, 10>& ProbeTable();

// The code number of a read-out reply, in decimal with at least three digits: the three
// characters after the first character that follows the first "%" (of STX "%" "007B" ETX,
// "07B", giving "123"). EConvertError "'$...' ist kein gültiger Integerwert" when those
// characters are not hexadecimal, as in a reply without "%".
std::string DecodeReadOut(std::string_view rxBuffer);

// "QYX" + type number + code number + "-PQ"; empty when the type number is unknown (empty),
// since a designation without it would name another remote.
std::string Designation(std::string_view typeNumber, std::string_view readOutCode);

// What the caller shows at each point of a read-out; each does nothing unless overridden.
class ReadOutDisplay {
public:
    virtual ~ReadOutDisplay() = default;
    // At the start: the designation and hardware version fields are emptied.
    virtual void ClearFields() {}
    // The read-out frame has been sent; the answer and the probes follow (the hourglass).
    virtual void Busy() {}
    // A probe was acknowledged; `designation` is empty for a type without a type number.
    virtual void ShowResult(const std::string& designation, const std::string& hardwareVersion) {
        (void)designation;
        (void)hardwareVersion;
    }
    // The probing is over, whatever it found (the pointer back to the arrow).
    virtual void Ready() {}
    // No remote answering: the red lines shown, the fields emptied, the arrow. The port is
    // closed right after.
    virtual void NoHardware() {}
};

enum class Outcome {
    Identified,         // a probe was acknowledged
    NoTypeAcknowledged, // every probe got a complete answer, none the acknowledgement
    ProbeUnanswered,    // a probe got no five-byte answer in time; the probing stopped there
    NoBridge,           // no bridge found, or no port recorded for it
    OpenFailed,         // the port could not be opened (openError says why)
    NoReadOutAnswer,    // no seven-byte answer to the read-out in time
    AlreadyRunning,     // asked for during a wait of a read-out that runs; nothing done
};

// The three outcomes that show as "no hardware connected".
bool IsNoHardware(Outcome outcome);

// What one read-out found.
struct ReadOutResult {
    Outcome outcome = Outcome::NoBridge;
    int port = -1;               // the COM port number found; below 1 for none
    std::string openError;       // the swallowed error's text, for OpenFailed
    std::string ReadOutCode;     // decoded code number; empty when the read-out was not answered
    int probes = 0;              // device-type checks sent
    int acknowledged = -1;       // the acknowledged probe code 0 to 9; -1 for none
    std::string HardwareVersion; // of the acknowledged type; empty for none
    std::string TypeNumber;      // of the acknowledged type; empty for none or none defined
    std::string Designation;     // empty unless identified with a type number
};

class DeviceReadOut {
public:
    // `link` (not owned) is the caller's own device link; the read-out sets its port name.
    explicit DeviceReadOut(device::RemoteLink& link) : link_(link) {}
    DeviceReadOut(const DeviceReadOut&) = delete;
    DeviceReadOut& operator=(const DeviceReadOut&) = delete;

    // Kept from one read-out to the next, until a later one sets them again.
    std::string ReadOutCode;
    std::string HardwareVersion;
    std::string TypeNumber;

    // A port number of 1 or more is used instead of the bridge discovery (a technician naming
    // the port); 0 finds it.
    int givenPort = 0;

    // One whole read-out (above). The waits pump the event loop, so a second read-out can be
    // asked for during one (a second click). It would send its frames while the first one's
    // replies are still on the line, take them for its own and could name the wrong device
    // type; it is refused instead (AlreadyRunning, display and port untouched).
    ReadOutResult OpenFernbedienung(ReadOutDisplay& display);

    // Probes 00 to 09 on the open port (the read-out's second half); on an acknowledgement
    // sets HardwareVersion and TypeNumber and shows the result. Outcome and probe counts go
    // into `result`.
    void testFB(ReadOutDisplay& display, ReadOutResult& result);

    bool Senden(const std::string& frame) { return link_.Senden(frame); }
    // The wait for the read-out's answer; on success decodes it into ReadOutCode.
    bool Empfangen(int length, int timeout);
    // The plain wait, for the probes.
    bool EmpfangenTest(int length, int timeout) { return link_.EmpfangenTest(length, timeout); }

    device::RemoteLink& link() { return link_; }

private:
    void noHardware(ReadOutDisplay& display);

    device::RemoteLink& link_;
    bool running_ = false;
};

} // namespace corvana::info
