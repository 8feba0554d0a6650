// Any bytes as a directory listing. The split must agree with a plain reading of its rule
// (lines end at CR LF, LF or CR; a final break adds no empty line), and joining the lines
// again with LF must give the text with its breaks made uniform.
#include "fuzz_check.h"
#include "net/ftpclient.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace corvana;
using corvana::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    StringList dest;
    dest.Add("left over from before");
    net::FtpClient::SplitListing(text, dest);

    std::vector<std::string> expected;
    std::string cur;
    bool open = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            expected.push_back(cur);
            cur.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            cur += c;
            open = true;
        }
    }
    if (open)
        expected.push_back(cur);
    check(dest.lines() == expected);
    for (const auto& l : dest.lines())
        check(l.find_first_of("\r\n") == std::string::npos);
    return 0;
}
