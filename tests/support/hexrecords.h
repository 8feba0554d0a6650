#pragma once
// Code files for the tests and benchmarks, written from the record layout (":", count,
// address, type, data, checksum; data records of type 20, end record 01) without the
// loader's help.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace corvana::test {

// One record, without its line end; the checksum is the two's complement of the byte sum.
inline std::string hexRecord(int address, const std::vector<int>& data, int type = 0x20) {
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address), static_cast<unsigned>(type));
    std::string line = field;
    int sum = static_cast<int>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (const int b : data) {
        std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(b));
        line += field;
        sum += b;
    }
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>((256 - sum % 256) % 256));
    return line + field;
}

// `record` with its checksum one too high, as a damaged file has it.
inline std::string withWrongChecksum(std::string record) {
    const int sum = std::stoi(record.substr(record.size() - 2), nullptr, 16);
    char field[4];
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>((sum + 1) % 256));
    return record.replace(record.size() - 2, 2, field);
}

inline const std::string kEndRecord = ":00000001FF";

// 16-byte data records from `from` to `to` inclusive (the last one shorter where the range
// ends inside it); the byte at address A is byteOf(A).
inline std::vector<std::string> dataRecords(int from, int to,
                                            const std::function<int(int)>& byteOf) {
    std::vector<std::string> lines;
    for (int a = from; a <= to; a += 16) {
        std::vector<int> data;
        for (int b = a; b < a + 16 && b <= to; ++b)
            data.push_back(byteOf(b));
        lines.push_back(hexRecord(a, data));
    }
    return lines;
}

// The lines, each ended by CR LF.
inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

} // namespace corvana::test
