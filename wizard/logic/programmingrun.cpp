#include "wizard/logic/programmingrun.h"

#include "device/frames.h"
#include "util/hexconv.h"

namespace corvana {

namespace frame = device::frame;

bool IsHardwareFailure(RunOutcome outcome) {
    return outcome == RunOutcome::NoBridge || outcome == RunOutcome::NoAnswer ||
           outcome == RunOutcome::WrongHardware;
}

FailureTexts HardwareFailureTexts(bool wrongHardware, const std::string& N) {
    if (wrongHardware)
        return {"Falsche Hardware angeschlossen! - Bitte QYX PQ " + N + " anschliessen!",
                "Wrong Hardware ! - Please connect QYX PQ " + N + "!"};
    return {"Keine Hardware angeschlossen! - Bitte QYX PQ " + N + " anschliessen!",
            "No Hardware connected ! - Please connect QYX PQ " + N + "!"};
}

int BlockCount(int start, int end) {
    if (start >= end)
        return 0;
    return (end - start) / frame::kBlockBytes + 1;
}

ProgramRange RangeOf(const MemoryImage& image) {
    ProgramRange r;
    r.start = HexToInt(image.se_Address1);
    r.end = HexToInt(image.se_address2);
    return r;
}

std::string NextBlockFrame(const ImageGrid& grid, int& A, int E, bool& last) {
    // The block starts at its row's label and takes the cells as the loader stored them.
    const int R = ImageGrid::RowOf(A);
    device::BlockFrameBuilder block(grid.Cells(0, R));
    for (int row = R; row <= R + 3 && A <= E; ++row)
        for (int col = 1; col <= 16 && A <= E; ++col, ++A)
            block.AddCell(grid.Cells(col, row));
    last = A > E;
    return block.Finish(last);
}

std::vector<std::string> PlannedFrames(const MemoryImage& image, const std::string* FB) {
    std::vector<std::string> frames;
    if (FB) {
        frames.push_back(device::DeviceTypeFrame(*FB));
        frames.push_back(device::PrepareFrame());
    }
    const ProgramRange range = RangeOf(image);
    if (!range.valid())
        return frames;
    bool last = false;
    for (int A = range.start; !last;)
        frames.push_back(NextBlockFrame(image.Grid1, A, range.end, last));
    return frames;
}

RunOutcome ProgrammingRun::OpenFernbedienung(const std::string& FB, RunDisplay& display) {
    result_ = RunResult{};
    const auto end = [&](RunOutcome outcome) {
        result_.outcome = outcome;
        return outcome;
    };
    result_.port = givenPort >= 1 ? givenPort : link_.FindBridgePort();
    if (result_.port < 1) {
        display.HardwareFailure(false);
        return end(RunOutcome::NoBridge);
    }
    link_.ComPort1.SetPort("COM" + std::to_string(result_.port));
    if (memo2_)
        memo2_->Clear();
    link_.ComPort1.SetConnected(true);

    link_.Senden(device::DeviceTypeFrame(FB));
    const bool answered = link_.Empfangen(frame::kReplyLength, frame::kReplyWait);
    if (display.Abandoned())
        return end(RunOutcome::Abandoned);
    if (!answered) {
        display.HardwareFailure(false);
        return end(RunOutcome::NoAnswer);
    }
    if (link_.RxBuffer != device::PositiveReply(frame::kDeviceType)) {
        display.HardwareFailure(true);
        return end(RunOutcome::WrongHardware);
    }

    link_.Senden(device::PrepareFrame());
    const bool prepared = link_.Empfangen(frame::kReplyLength, frame::kPrepareWait);
    if (display.Abandoned())
        return end(RunOutcome::Abandoned);
    if (!prepared) {
        display.Message("Fehler(6)");
        return end(RunOutcome::PrepareSilent);
    }
    if (link_.RxBuffer != device::PositiveReply(frame::kPrepare)) {
        display.Message("Fehler(7)");
        return end(RunOutcome::PrepareWrong);
    }
    return end(RunOutcome::Prepared);
}

RunOutcome ProgrammingRun::SendenHEXFile(RunDisplay& display) {
    const auto end = [&](RunOutcome outcome) {
        result_.outcome = outcome;
        return outcome;
    };
    const ProgramRange range = RangeOf(image_);
    if (!range.valid()) {
        display.Message("Start & End Address Error!!!!");
        return end(RunOutcome::AddressError);
    }
    const int E = range.end;
    result_.blocks = range.blocks();
    result_.sent = 0;
    result_.wrong.clear();
    display.TransferStarted(result_.blocks);

    for (int A = range.start;;) {
        if (A > E) {
            link_.ComPort1.Close();
            display.Finished();
            return end(RunOutcome::Programmed);
        }
        if (display.Abandoned())
            return end(RunOutcome::Abandoned);
        bool last = false;
        const std::string frame = NextBlockFrame(image_.Grid1, A, E, last);
        if (memo1_)
            memo1_->Add(frame);

        const int index = result_.sent + 1;
        display.BlockSending(index, result_.blocks, frame);
        link_.Senden(frame);
        result_.sent = index;
        if (!link_.Empfangen(frame::kReplyLength, frame::kReplyWait)) {
            // A silent remote after the caller went away is not worth a message any more.
            if (display.Abandoned())
                return end(RunOutcome::Abandoned);
            display.Message("Fehler(2)");
            return end(RunOutcome::BlockSilent);
        }
        // A wrong reply is reported and the transfer goes on: the block is not sent again.
        if (link_.RxBuffer != device::BlockReply(last)) {
            result_.wrong.push_back(index);
            display.Message("Fehler(3)");
        }
        display.BlockDone(index, result_.blocks);
    }
}

void ProgrammingRun::CloseConn() {
    link_.ComPort1.Close();
}

RunResult ProgrammingRun::Programme(const std::string& FB, RunDisplay& display) {
    try {
        if (OpenFernbedienung(FB, display) == RunOutcome::Prepared)
            SendenHEXFile(display);
    } catch (...) {
        // The error that ended the run is the one to report, not a second one on closing.
        try {
            CloseConn();
        } catch (...) {
        }
        throw;
    }
    CloseConn();
    return result_;
}

} // namespace corvana
