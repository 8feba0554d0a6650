// Load time of a full code file: 2048 data records of 16 bytes (0000..7FFF) and the end
// record, read from a file as the wizard reads "Printer.drv", with the image reset, the log
// lines and the sum over 1000..7FFF. Goal: under 5 ms.
//
//   bench_loader [runs]      (default 200)
#include "platform/privatetempdir.h"
#include "tests/support/hexrecords.h"
#include "wizard/logic/hexloader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

using namespace corvana;

namespace {

std::string fullCodeFile() {
    auto lines =
        test::dataRecords(0, 0x7FFF, [](int a) { return ((a >> 4) + (a & 15) * 7) & 0xFF; });
    lines.push_back(test::kEndRecord);
    return test::joinLines(lines);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::string dir = platform::tempBase() + "/corvana-bench-XXXXXX";
    if (!::mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = dir + "/Printer.drv";
    const std::string content = fullCodeFile();
    const int fd = platform::createFileNoFollow(path);
    if (fd < 0 ||
        ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
        std::perror(path.c_str());
        return 1;
    }
    ::close(fd);

    MemoryImage image;
    std::vector<double> ms;
    bool ok = true;
    size_t logLines = 0;
    for (int i = 0; i < runs; ++i) {
        StringList memo; // a fresh log, as the first load of a run sees it
        const auto t0 = std::chrono::steady_clock::now();
        ok = LadenHexFile(image, memo, path, nullptr) && ok;
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        logLines = memo.lines().size();
    }
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());

    std::sort(ms.begin(), ms.end());
    std::printf("load of a full code file (%zu bytes, 2048 data records, %zu log lines), %d runs\n",
                content.size(), logLines, runs);
    std::printf("  median %.3f ms   min %.3f ms   90th %.3f ms   max %.3f ms   (goal < 5 ms)\n",
                ms[ms.size() / 2], ms.front(), ms[ms.size() * 9 / 10], ms.back());
    std::printf("  end address %s, sum %s\n", image.se_address2.c_str(), ok ? "logged" : "FAILED");
    return ok && image.se_address2 == "7FFF" ? 0 : 1;
}
