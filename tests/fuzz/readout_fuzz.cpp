// Any bytes as the read-out reply of a remote. The decoding either raises the conversion
// error or gives a decimal number of at least three digits that names the value of the
// characters it took; the designation is built from it only with a type number.
#include "fuzz_check.h"
#include "info/readout.h"
#include "util/errors.h"

#include <cstdint>
#include <string>

using namespace corvana;
using corvana::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    std::string code;
    try {
        code = info::DecodeReadOut(reply);
    } catch (const EConvertError& e) {
        // The text quotes the characters taken, which may hold a zero byte that ends what().
        check(std::string(e.what()).rfind("'$", 0) == 0);
        return 0;
    }
    check(code.size() >= 3 && code.size() <= 5); // at most four hexadecimal digits: 65535
    for (char c : code)
        check(c >= '0' && c <= '9');
    check(std::stoul(code) <= 0xFFFF);
    // The characters taken follow the first "%"; without one there is nothing to decode.
    check(reply.find('%') != std::string::npos);
    check(info::Designation("", code).empty());
    check(info::Designation("81", code) == "QYX81" + code + "-PQ");
    return 0;
}
