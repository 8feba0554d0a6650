#pragma once
// Code files for the command-line tests: the byte at A is (A * 7) mod 256.

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/hexrecords.h"

namespace corvana::test {

// The byte the generated files hold at `address`.
inline int byteAt(int address) {
    return (address * 7) & 0xFF;
}

// 16-byte records from `from` to `to` inclusive, one per line.
inline std::vector<std::string> dataRecords(int from, int to) {
    return dataRecords(from, to, byteAt);
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
