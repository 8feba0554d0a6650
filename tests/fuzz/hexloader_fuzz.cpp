// Any bytes as a code file. The load from memory and the load from a file must agree, and
// whatever the file holds, the image keeps its shape: labels intact, every byte cell one or
// two hexadecimal digits, an end address inside the image. A read outside the table throws
// std::out_of_range, which the fuzzer reports as a crash.
#include "platform/privatetempdir.h"
#include "util/errors.h"
#include "util/hexconv.h"
#include "wizard/logic/hexloader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

using namespace corvana;

namespace {

struct Outcome {
    bool ok = false;
    std::string error;
    std::vector<std::string> boxes;
    HexLoadResult result;
};

template <typename Load> Outcome run(Load load) {
    Outcome out;
    const MessageFn show = [&](const std::string& t) { out.boxes.push_back(t); };
    try {
        out.ok = load(show, &out.result);
    } catch (const Exception& e) {
        out.error = e.what();
    }
    return out;
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void check(bool cond) {
    if (!cond)
        std::abort();
}

// A private scratch directory for the file loads, removed when the fuzzer exits.
struct Scratch {
    std::string dir = platform::tempBase() + "/corvana-fuzz-XXXXXX";
    std::string path;
    Scratch() {
        check(::mkdtemp(dir.data()) != nullptr);
        path = dir + "/Printer.drv";
    }
    ~Scratch() {
        ::unlink(path.c_str());
        ::rmdir(dir.c_str());
    }
};

const std::string& scratchFile() {
    static const Scratch scratch;
    return scratch.path;
}

// The cells the data records wrote (the log names each record's type, address and size):
// one or two hexadecimal digits each.
void checkWritten(const ImageGrid& g, const StringList& memo) {
    const auto& lines = memo.lines();
    for (size_t i = 0; i + 3 < lines.size(); ++i) {
        if (lines[i] != "Status 32" || lines[i + 2].rfind("Address ", 0) != 0)
            continue;
        const int address = std::stoi(lines[i + 2].substr(8));
        const int size = std::stoi(lines[i + 3].substr(5));
        for (int a = address; a < address + size && ImageGrid::InImage(a); ++a) {
            const std::string_view cell = g.Cells(ImageGrid::ColOf(a), ImageGrid::RowOf(a));
            check(!cell.empty() && cell.size() <= 2 && isHex(cell[0]) &&
                  (cell.size() == 1 || isHex(cell[1])));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static MemoryImage fromText, fromFile;
    StringList memoText, memoFile;

    const Outcome a = run([&](const MessageFn& show, HexLoadResult* r) {
        return LoadHexText(fromText, memoText, text, show, r);
    });

    // A new file each run: emptying the old one makes ext4 flush it to disk every time.
    ::unlink(scratchFile().c_str());
    const int fd = platform::createFileNoFollow(scratchFile());
    check(fd >= 0);
    check(::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
    ::close(fd);
    const Outcome b = run([&](const MessageFn& show, HexLoadResult* r) {
        return LadenHexFile(fromFile, memoFile, scratchFile(), show, r);
    });

    check(a.ok == b.ok && a.error == b.error && a.boxes == b.boxes);
    check(a.result.lines == b.result.lines && a.result.errorLine == b.result.errorLine &&
          a.result.droppedBytes == b.result.droppedBytes);
    check(memoText.lines() == memoFile.lines());
    check(fromText.se_address2 == fromFile.se_address2);
    check(a.ok == a.result.ok && (a.ok || !a.result.errorText.empty() || a.result.errorLine > 0));
    if (fromText.se_address2 != "Edit1")
        check(HexToInt(fromText.se_address2) <= ImageGrid::LastAddress);

    check(fromText.Grid1 == fromFile.Grid1);
    const ImageGrid& g = fromText.Grid1;
    check(g.Cells(0, 0) == "add" && g.Cells(16, 0) == "0F" && g.Cells(0, 2048) == "7FF0");
    checkWritten(g, memoText);
    return 0;
}
