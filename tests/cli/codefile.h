#pragma once
// Code files for the command-line tests, written here from the record layout (":" count,
// address, type, data, checksum; data records of type 20, end record 01) without the loader's
// help.

#include <cstdio>
#include <string>
#include <vector>

namespace corvana::test {

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

// The byte the generated files hold at `address`.
inline int byteAt(int address) {
    return (address * 7) & 0xFF;
}

// 16-byte records from `from` to `to` inclusive, one per line.
inline std::vector<std::string> dataRecords(int from, int to) {
    std::vector<std::string> lines;
    for (int a = from; a <= to; a += 16) {
        std::vector<int> data;
        for (int b = a; b < a + 16 && b <= to; ++b)
            data.push_back(byteAt(b));
        lines.push_back(hexRecord(a, data));
    }
    return lines;
}

inline const std::string kEndRecord = ":00000001FF";

inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

// A code file from 1000 to `to`, with its end record.
inline std::string codeFile(int to) {
    auto lines = dataRecords(0x1000, to);
    lines.push_back(kEndRecord);
    return joinLines(lines);
}

// Bytes as upper-case hexadecimal pairs with one blank between them.
inline std::string pairs(const std::string& bytes) {
    std::string out;
    char b[4];
    for (const unsigned char c : bytes) {
        std::snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", c);
        out += b;
    }
    return out;
}

} // namespace corvana::test
