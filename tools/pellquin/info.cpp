// `info`: the device info window's read-out; also the check of `program --verify`.
#include <ostream>

#include "device/remotelink.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/command.h"
#include "tools/pellquin/commands.h"
#include "util/errors.h"

namespace corvana::cli {

namespace {

// The read-out of the device info window, told in terminal lines.
class QuietReadOutDisplay : public info::ReadOutDisplay {};

} // namespace

ReadOutReport readOut(Io& io, int port, const char* what, RunRecord* record) {
    Command cmd(io);
    device::RemoteLink link(nullptr, nullptr, io.clock);
    if (record)
        record->WatchLink(link);
    ReadOutReport report;
    // The lookup first, so that a conversion error in the read-out is the reply's.
    if (port < 1) {
        try {
            port = link.FindBridgePort();
        } catch (const EConvertError& e) {
            cmd.error(std::string(what) + ": the port lookup failed: " + e.what());
            report.exit = kNoHardware;
            return report;
        }
    }
    info::DeviceReadOut readOut(link);
    readOut.givenPort = port;
    QuietReadOutDisplay display;
    try {
        report.result = readOut.OpenFernbedienung(display);
    } catch (const EConvertError& e) {
        link.ComPort1.Close();
        cmd.error(std::string(what) + ": the read-out cannot be decoded: " + e.what());
        report.exit = kProtocol;
        return report;
    } catch (const EComPortError& e) {
        link.ComPort1.Close();
        cmd.error(std::string(what) + ": " + e.what());
        report.exit = kNoHardware;
        return report;
    }
    const info::ReadOutResult& r = report.result;
    using info::Outcome;
    if (r.outcome == Outcome::Identified) {
        report.exit = kOk;
    } else if (info::IsNoHardware(r.outcome)) {
        io.err << "Keine Hardware angeschlossen!\nNo Hardware connected!\n";
        std::string detail = "no CP210x cable found, or no port recorded for it";
        if (r.outcome == Outcome::OpenFailed)
            detail = comName(r.port) + ": " + r.openError;
        else if (r.outcome == Outcome::NoReadOutAnswer)
            detail = "no answer to the read-out on " + comName(r.port);
        cmd.error(std::string(what) + ": " + detail);
        report.exit = kNoHardware;
    } else if (r.outcome == Outcome::NoTypeAcknowledged) {
        cmd.error(std::string(what) + ": the remote on " + comName(r.port) +
                  " answers the read-out (code " + r.ReadOutCode +
                  ") but acknowledges none of the device types 00 to 09");
        report.exit = kWrongHardware;
    } else if (r.outcome == Outcome::ProbeUnanswered) {
        cmd.error(std::string(what) + ": no answer to the device-type check 0" +
                  std::to_string(r.probes - 1) + " on " + comName(r.port));
        report.exit = kProtocol;
    } else {
        cmd.error(std::string(what) + ": the read-out did not run");
        report.exit = kProtocol;
    }
    return report;
}

std::string designationText(const info::ReadOutResult& r) {
    if (!r.Designation.empty())
        return r.Designation;
    return "(none: device type 0" + std::to_string(r.acknowledged) + " has no type number)";
}

int runInfo(Io& outer, const Args& a) {
    if (!a.positional.empty())
        throw UsageError("info takes no arguments");
    const int port = a.has("--port") ? parsePort(*a.get("--port")) : 0;
    CommandRecord logged(outer, "read-out, pellquin info", "info", "identified");
    Io& io = logged.io();
    const ReadOutReport report = readOut(io, port, "info", &logged.record());
    if (report.exit != kOk)
        return logged.Ended(report.exit);
    const info::ReadOutResult& r = report.result;
    io.out << "designation       " << designationText(r) << '\n';
    io.out << "hardware version  " << r.HardwareVersion << '\n';
    io.out << "read-out code     " << r.ReadOutCode << '\n';
    io.out << "port              " << comName(r.port) << '\n' << std::flush;
    return logged.Ended(kOk, designationText(r) + ", hardware version " + r.HardwareVersion);
}

} // namespace corvana::cli
