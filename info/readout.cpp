#include "info/readout.h"

#include <exception>

#include "device/frames.h"
#include "util/errors.h"
#include "util/hexconv.h"
#include "util/textpos.h"

namespace corvana::info {

const std::array<ProbedType, 10>& ProbeTable() {
    // No type numbers are known for 04 to 09; building a designation for them with the number
    // of whatever remote was read before would show the user a different remote.
    static const std::array<ProbedType, 10> table{{
        {"00", "TV1", "81"},
        {"01", "VCR1", "82"},
        {"02", "DVD1", "85"},
        {"03", "STB1", "83"},
        {"04", "4", ""},
        {"05", "5", ""},
        {"06", "6", ""},
        {"07", "7", ""},
        {"08", "8", ""},
        {"09", "9", ""},
    }};
    return table;
}

std::string DecodeReadOut(std::string_view rxBuffer) {
    // P is taken in the whole reply but applied to the four characters after it: for the
    // regular reply ("%" second) the first of the four is left out of the number.
    const int P = Pos("%", rxBuffer);
    const std::string T = Copy(rxBuffer, P + 1, 4);
    const std::string D = Copy(T, P < 1 ? 1 : P, 4);
    std::string code = std::to_string(HexToInt64(D));
    if (code.size() < 3)
        code.insert(0, 3 - code.size(), '0');
    return code;
}

std::string Designation(std::string_view typeNumber, std::string_view readOutCode) {
    if (typeNumber.empty())
        return {};
    return "QYX" + std::string(typeNumber) + std::string(readOutCode) + "-PQ";
}

bool IsNoHardware(Outcome outcome) {
    return outcome == Outcome::NoBridge || outcome == Outcome::OpenFailed ||
           outcome == Outcome::NoReadOutAnswer;
}

bool DeviceReadOut::Empfangen(int length, int timeout) {
    if (!link_.EmpfangenTest(length, timeout))
        return false;
    ReadOutCode = DecodeReadOut(link_.RxBuffer);
    return true;
}

void DeviceReadOut::noHardware(ReadOutDisplay& display) {
    display.NoHardware();
    link_.ComPort1.Close();
}

ReadOutResult DeviceReadOut::OpenFernbedienung(ReadOutDisplay& display) {
    ReadOutResult result;
    if (running_) {
        result.outcome = Outcome::AlreadyRunning;
        return result;
    }
    // Reset on every way out: after a conversion error the next click must work again.
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};
    display.ClearFields();

    result.port = givenPort >= 1 ? givenPort : link_.FindBridgePort();
    if (result.port < 1) {
        result.outcome = Outcome::NoBridge;
        noHardware(display);
        return result;
    }
    try {
        link_.ComPort1.SetPort("COM" + std::to_string(result.port));
        link_.ComPort1.SetConnected(true);
    } catch (const std::exception& e) {
        // The user is told only that no hardware answers; the reason stays for whoever asks.
        result.outcome = Outcome::OpenFailed;
        result.openError = e.what();
        noHardware(display);
        return result;
    }

    try {
        Senden(device::ReadOutFrame());
        display.Busy();
        if (!Empfangen(device::frame::kReadOutLength, device::frame::kReplyWait)) {
            result.outcome = Outcome::NoReadOutAnswer;
            noHardware(display);
            return result;
        }
        result.ReadOutCode = ReadOutCode;
        testFB(display, result);
    } catch (const EComPortError&) {
        // The cable pulled mid-exchange: nothing is waited for any more, so no hourglass; the
        // error itself goes on to the error display.
        display.Ready();
        link_.ComPort1.Close();
        throw;
    }
    display.Ready();
    link_.ComPort1.Close();
    return result;
}

void DeviceReadOut::testFB(ReadOutDisplay& display, ReadOutResult& result) {
    const std::string acknowledged = device::PositiveReply(device::frame::kDeviceType);
    const auto& table = ProbeTable();
    for (int n = 0; n < static_cast<int>(table.size()); ++n) {
        const ProbedType& type = table[static_cast<size_t>(n)];
        Senden(device::DeviceTypeFrame(type.code));
        ++result.probes;
        if (!EmpfangenTest(device::frame::kReplyLength, device::frame::kReplyWait)) {
            result.outcome = Outcome::ProbeUnanswered;
            return;
        }
        if (link_.RxBuffer == acknowledged) {
            HardwareVersion = type.HardwareVersion;
            TypeNumber = type.TypeNumber;
            result.outcome = Outcome::Identified;
            result.acknowledged = n;
            result.HardwareVersion = HardwareVersion;
            result.TypeNumber = TypeNumber;
            result.Designation = Designation(TypeNumber, ReadOutCode);
            display.ShowResult(result.Designation, HardwareVersion);
            return;
        }
    }
    result.outcome = Outcome::NoTypeAcknowledged;
}

} // namespace corvana::info
