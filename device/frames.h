#pragma once
// The frames of the remote control's request/reply protocol, the block checksum and the text
// forms the wizard's transcript shows them in. Frames are byte strings (std::string).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corvana::device {

namespace frame {
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char ACK = 0x06;
inline constexpr char kMoreBlocks = 0x08; // block frame: further blocks follow
inline constexpr char kLastBlock = 0x04;  // block frame: this is the last block

inline constexpr char kDeviceType = '$';
inline constexpr char kPrepare = '#';
inline constexpr char kBlock = '!';
inline constexpr char kReadOut = '%';

inline constexpr int kBlockBytes = 64;
inline constexpr int kBlockFrameLength = 138;
inline constexpr int kReplyLength = 5;   // every reply to $, # and !
inline constexpr int kReadOutLength = 7; // the reply to %
// Time-out values of the waits for a reply (how long they last: waitclock.h).
inline constexpr int kReplyWait = 5;    // the device-type check, each block, the read-out
inline constexpr int kPrepareWait = 10; // the prepare command, which the remote answers last
inline constexpr uint8_t kChecksumSeed = 0x23;
inline constexpr uint8_t kFiller = 0xFF;
} // namespace frame

// STX "$" code ETX: the device-type check; the code is sent as given (normally two digits).
std::string DeviceTypeFrame(std::string_view code);
// STX "#" 00 ETX: the prepare command.
std::string PrepareFrame();
// STX "%" "0" ETX: the read-out.
std::string ReadOutFrame();

// STX command ACK status ETX: the positive reply to $, # and !.
std::string PositiveReply(char command, char status = 0);
// The reply to a block frame: its marker echoed.
std::string BlockReply(bool last);

// The 138-byte block frame for `address` with up to 64 data bytes; positions after the data
// are sent as filler FF (and counted in the checksum). Throws std::invalid_argument for more
// than 64 bytes.
std::string BlockFrame(uint16_t address, std::span<const uint8_t> data, bool last);

// A block frame built the way the wizard builds it from its image: the address text and the
// cells' two-character texts are sent exactly as stored (their letter case included), while
// the checksum takes their values. Texts that are not hexadecimal raise EConvertError.
class BlockFrameBuilder {
public:
    explicit BlockFrameBuilder(std::string_view addressText);
    // Appends one data byte's text; false (nothing appended) when the block is full.
    bool AddCell(std::string_view cellText);
    int Count() const { return count_; }
    // Fills up with FF, appends checksum, marker and ETX; the builder is done afterwards.
    std::string Finish(bool last);

private:
    std::string frame_;
    uint8_t checksum_;
    int count_ = 0;
};

// Each of the first `count` bytes as two upper-case hexadecimal digits and one blank; bytes
// missing from `bytes` show as "00".
std::string DumpText(std::string_view bytes, size_t count);
// The dump extended with blanks to at least 25 characters, then ": ", then the raw bytes.
std::string PaddedLine(const std::string& dump, std::string_view raw);

} // namespace corvana::device
