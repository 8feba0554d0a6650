#include "wizard/logic/hexloader.h"

#include "platform/sysio.h"
#include "util/errors.h"
#include "util/hexconv.h"
#include "util/settings.h"
#include "util/tempfileerrors.h"
#include "util/textpos.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace corvana {
namespace {

// A record never looks past 1 + 8 + 2 * 255 + 2 characters, so longer lines are kept only
// this far; the rest is only looked at for the blank-line test. A file of one endless line
// then costs no memory.
constexpr size_t kKept = 1024;

// Splits text into lines as a text-file reader does: LF, CR LF and a lone CR end a line, the
// last line needs no end. Takes the text in pieces of any size.
class LineSplitter {
public:
    // onLine(text, blank) returns false to stop; feed then returns false too.
    template <typename F> bool feed(std::string_view data, F&& onLine) {
        for (const char c : data) {
            if (afterCR_) {
                afterCR_ = false;
                if (c == '\n')
                    continue;
            }
            if (c == '\r' || c == '\n') {
                afterCR_ = c == '\r';
                if (!emit(onLine))
                    return false;
                continue;
            }
            begun_ = true;
            if (static_cast<unsigned char>(c) > ' ')
                blank_ = false;
            if (line_.size() < kKept)
                line_.push_back(c);
        }
        return true;
    }
    template <typename F> bool finish(F&& onLine) { return !begun_ || emit(onLine); }

private:
    template <typename F> bool emit(F& onLine) {
        const bool go = onLine(std::string_view(line_), blank_);
        line_.clear();
        blank_ = true;
        begun_ = false;
        return go;
    }

    std::string line_;
    bool blank_ = true;
    bool begun_ = false;
    bool afterCR_ = false;
};

long long len(std::string_view t) {
    return static_cast<long long>(t.size());
}

class Loader {
public:
    Loader(MemoryImage& image, StringList& memo, const MessageFn& show, HexLoadResult& result)
        : image_(image), memo_(memo), show_(show), result_(result) {
        result_ = HexLoadResult{};
        image_.Grid1.Reset();
    }

    // One line of the file; false when loading stops.
    bool line(std::string_view text, bool blank) {
        ++result_.lines;
        if (blank)
            return true;
        ++result_.records;
        try {
            return record(text);
        } catch (const Exception& e) {
            result_.errorLine = result_.lines;
            result_.errorText = e.what();
            throw;
        }
    }

    bool done() {
        result_.ok = true;
        return true;
    }

private:
    // The fields are taken from the line as read: a leading blank shifts them all.
    bool record(std::string_view text) {
        std::string rest = Copy(text, 2, len(text));
        const int count = HexToInt(Copy(rest, 1, 2));
        const int address = HexToInt(Copy(rest, 3, 4));
        const int high = HexToInt(Copy(rest, 3, 2));
        const int low = HexToInt(Copy(rest, 5, 2));
        const int type = HexToInt(Copy(rest, 7, 2));
        int sum = count + high + low + type;
        memo_.Add("Status " + std::to_string(type));
        memo_.Add("ChkSum " + std::to_string(sum));
        memo_.Add("Address " + std::to_string(address));
        memo_.Add("Size " + std::to_string(count));
        rest = Copy(rest, 9, len(rest));

        if (type == 0x20) {
            // Only a record starting above the end moves it; it never leaves the image.
            if (end_ < address)
                end_ = std::min(address + count - 1, ImageGrid::LastAddress);
            for (int i = 0; i < count; ++i) {
                const std::string byte = Copy(rest, 2LL * i + 1, 2);
                sum += HexToInt(byte);
                const int at = address + i;
                if (ImageGrid::InImage(at)) {
                    image_.Grid1.SetCell(ImageGrid::ColOf(at), ImageGrid::RowOf(at), byte);
                } else {
                    if (result_.droppedBytes++ == 0)
                        result_.firstDroppedLine = result_.lines;
                }
            }
            const int checksum = HexToInt(Copy(rest, 2LL * count + 1, 2));
            if (checksum != (256 - sum % 256) % 256) {
                const std::string message =
                    "Check Sum Error!!!!!-- [" + std::to_string(address) + "]";
                result_.errorLine = result_.lines;
                result_.errorText = message;
                if (show_)
                    show_(message);
                return false;
            }
        } else if (type == 0x01) {
            memo_.Add("SE_adress1" + std::to_string(end_));
            image_.se_address2 = xIntToHex(end_, 4);
            ROM_CHECK_SUM(image_, memo_, show_);
        }
        return true;
    }

    MemoryImage& image_;
    StringList& memo_;
    const MessageFn& show_;
    HexLoadResult& result_;
    int end_ = 0;
};

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() { platform::close(fd_); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void raiseInOut(HexLoadResult& result, int err) {
    EInOutError e = InOutError(err);
    result.errorText = e.what();
    throw e;
}

} // namespace

bool LadenHexFile(MemoryImage& image, StringList& Memo1, const std::string& path,
                  const MessageFn& showMessage, HexLoadResult* result) {
    HexLoadResult local;
    HexLoadResult& r = result ? *result : local;
    Loader loader(image, Memo1, showMessage, r);
    const int fd = platform::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        raiseInOut(r, errno);
    const FileHandle file(fd);

    LineSplitter lines;
    auto onLine = [&](std::string_view text, bool blank) { return loader.line(text, blank); };
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = platform::read(file.fd(), buf, sizeof buf);
        if (n < 0)
            raiseInOut(r, errno);
        if (n == 0)
            break;
        if (!lines.feed(std::string_view(buf, static_cast<size_t>(n)), onLine))
            return false;
    }
    if (!lines.finish(onLine))
        return false;
    return loader.done();
}

bool LoadHexText(MemoryImage& image, StringList& Memo1, std::string_view content,
                 const MessageFn& showMessage, HexLoadResult* result) {
    HexLoadResult local;
    HexLoadResult& r = result ? *result : local;
    Loader loader(image, Memo1, showMessage, r);
    LineSplitter lines;
    auto onLine = [&](std::string_view text, bool blank) { return loader.line(text, blank); };
    if (!lines.feed(content, onLine) || !lines.finish(onLine))
        return false;
    return loader.done();
}

void ROM_CHECK_SUM(const MemoryImage& image, StringList& Memo1, const MessageFn& showMessage) {
    const int start = HexToInt(image.se_Address1);
    const int end = HexToInt(image.se_address2);
    if (end < start) {
        if (showMessage)
            showMessage("Start & End Address Error!!!!");
        return;
    }
    long long sum = 0;
    const int last = std::min(end, ImageGrid::LastAddress);
    for (int a = std::max(start, 0); a <= last; ++a)
        sum += HexToInt(image.Grid1.Cells(ImageGrid::ColOf(a), ImageGrid::RowOf(a)));
    Memo1.Add(xIntToHex(static_cast<int32_t>(sum & 0xFFFF), 4));
}

std::string LocalCodeFilePath() {
    return GetTempDirectory() + settings::kLocalCodeFile;
}

} // namespace corvana
