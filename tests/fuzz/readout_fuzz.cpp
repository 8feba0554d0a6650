// Any bytes as the read-out reply of a remote. The decoding either raises the conversion
// error or gives a decimal number of at least three digits that names the value of the
// characters it took; the designation is built from it only with a type number.
#include "fuzz_check.h"
#include "info/readout.h"
#include "util/errors.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace corvana;
using corvana::fuzz::check;

namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The rule written out plainly: P from 1 (0 without "%"), the four characters after it, and
// of those the ones from position P on (at least 1), at most four.
std::string taken(const std::string& reply) {
    const size_t at = reply.find('%');
    const size_t P = at == std::string::npos ? 0 : at + 1;
    const std::string T = P < reply.size() ? reply.substr(P, 4) : std::string();
    const size_t from = (P < 1 ? 1 : P) - 1;
    return from < T.size() ? T.substr(from, 4) : std::string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::string D = taken(reply);
    const bool hex = !D.empty() && std::all_of(D.begin(), D.end(), isHex);
    std::string code;
    try {
        code = info::DecodeReadOut(reply);
    } catch (const EConvertError& e) {
        // The text quotes the characters taken, which may hold a zero byte that ends what().
        check(std::string(e.what()).rfind("'$", 0) == 0);
        check(!hex);
        return 0;
    }
    check(hex);
    check(code.size() >= 3 && code.size() <= 5); // at most four hexadecimal digits: 65535
    for (char c : code)
        check(c >= '0' && c <= '9');
    check(std::stoul(code) == std::stoul(D, nullptr, 16));
    check(info::Designation("", code).empty());
    check(info::Designation("81", code) == "QYX81" + code + "-PQ");
    return 0;
}
