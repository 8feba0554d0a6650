#include "device/frames.h"

#include <stdexcept>

#include "util/hexconv.h"

namespace corvana::device {

std::string DeviceTypeFrame(std::string_view code) {
    std::string f(1, frame::STX);
    f += frame::kDeviceType;
    f += code;
    f += frame::ETX;
    return f;
}

std::string PrepareFrame() {
    return {frame::STX, frame::kPrepare, '\0', frame::ETX};
}

std::string ReadOutFrame() {
    return {frame::STX, frame::kReadOut, '0', frame::ETX};
}

std::string PositiveReply(char command, char status) {
    return {frame::STX, command, frame::ACK, status, frame::ETX};
}

std::string BlockReply(bool last) {
    return PositiveReply(frame::kBlock, last ? frame::kLastBlock : frame::kMoreBlocks);
}

std::string BlockFrame(uint16_t address, std::span<const uint8_t> data, bool last) {
    if (data.size() > frame::kBlockBytes)
        throw std::invalid_argument("a block holds 64 bytes");
    BlockFrameBuilder b(xIntToHex(address, 4));
    for (const uint8_t v : data)
        b.AddCell(xIntToHex(v, 2));
    return b.Finish(last);
}

BlockFrameBuilder::BlockFrameBuilder(std::string_view addressText) {
    const auto address = static_cast<uint32_t>(HexToInt(addressText));
    checksum_ = frame::kChecksumSeed ^ static_cast<uint8_t>(address >> 8) ^
                static_cast<uint8_t>(address & 0xFF);
    frame_.reserve(frame::kBlockFrameLength);
    frame_ += frame::STX;
    frame_ += frame::kBlock;
    frame_ += addressText;
}

bool BlockFrameBuilder::AddCell(std::string_view cellText) {
    if (count_ >= frame::kBlockBytes)
        return false;
    checksum_ ^= static_cast<uint8_t>(HexToInt(cellText) & 0xFF);
    frame_ += cellText;
    ++count_;
    return true;
}

std::string BlockFrameBuilder::Finish(bool last) {
    for (; count_ < frame::kBlockBytes; ++count_) {
        frame_ += "FF";
        checksum_ ^= frame::kFiller;
    }
    frame_ += xIntToHex(checksum_, 2);
    frame_ += last ? frame::kLastBlock : frame::kMoreBlocks;
    frame_ += frame::ETX;
    return std::move(frame_);
}

std::string DumpText(std::string_view bytes, size_t count) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        const auto b = i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : uint8_t{0};
        out += digits[b >> 4];
        out += digits[b & 0xF];
        out += ' ';
    }
    return out;
}

std::string PaddedLine(const std::string& dump, std::string_view raw) {
    std::string line = dump;
    if (line.size() < 25)
        line.append(25 - line.size(), ' ');
    line += ": ";
    line += raw;
    return line;
}

} // namespace corvana::device
