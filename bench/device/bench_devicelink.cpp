// bench_devicelink [--paced] [--exchanges N]
//
// Runs the device link against the in-process simulated remote on a pseudo-terminal, with the
// wizard's transcript switched on, and prints:
//   1. the time from the simulator writing a reply's last byte to Empfangen returning true
//      (median over N `$` exchanges);
//   2. the CPU time of the UI thread during a 5-second unanswered wait;
//   3. the wall time of 448 block exchanges (a full image), unpaced;
//   4. with --paced: the same at the 9600-baud line rate, against the line-time floor
//      448 x 143 bytes x 10 bits / 9600.

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device/frames.h"
#include "device/remotelink.h"
#include "tools/remotesim/remotesim.h"

using namespace corvana;
using namespace corvana::device;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kBlocks = 448;    // 1000 to 7FFF hexadecimal
constexpr int kLineBytes = 143; // 138 out, 5 back

double ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void openLink(RemoteLink& link) {
    const int n = link.FindBridgePort();
    if (n < 1) {
        std::fprintf(stderr, "bench: no bridge found in the fake tree\n");
        std::exit(1);
    }
    link.ComPort1.SetPort("COM" + std::to_string(n));
    link.ComPort1.SetConnected(true);
}

std::optional<sim::SteadyTime> repliedAt(sim::RemoteSimulator& remote) {
    // The simulator stamps the record right after its write; wait for the stamp if needed.
    for (int i = 0; i < 1000; ++i) {
        const auto r = remote.records();
        if (!r.empty() && r.back().replied)
            return r.back().replied;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return std::nullopt;
}

void latency(RemoteLink& link, sim::RemoteSimulator& remote, int exchanges) {
    std::vector<double> samples;
    const std::string frame = DeviceTypeFrame("00");
    const std::string ack = PositiveReply('$');
    for (int i = 0; i < exchanges; ++i) {
        remote.clearFrames();
        link.Senden(frame);
        const bool ok = link.Empfangen(5, 5);
        const auto back = Steady::now();
        if (!ok || link.RxBuffer != ack) {
            std::fprintf(stderr, "bench: exchange %d failed\n", i);
            std::exit(1);
        }
        if (const auto wrote = repliedAt(remote))
            samples.push_back(ms(back - *wrote));
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[static_cast<size_t>(q * (samples.size() - 1))];
    };
    std::printf("1. reply latency, last reply byte written -> Empfangen true: median %.3f ms "
                "(p90 %.3f, max %.3f; %zu exchanges)   goal < 1 ms\n",
                at(0.5), at(0.9), samples.back(), samples.size());
}

void idleWait(RemoteLink& link, sim::RemoteSimulator& remote) {
    sim::Faults f;
    f.silentFrom = 1;
    remote.clearFrames();
    remote.setFaults(f);
    link.Senden(DeviceTypeFrame("00"));
    const double cpu0 = threadCpuSeconds();
    const auto t0 = Steady::now();
    const bool answered = link.Empfangen(5, 4); // time-out value 4: ends after 5 s
    const double wall = ms(Steady::now() - t0) / 1000.0;
    const double cpu = threadCpuSeconds() - cpu0;
    remote.setFaults({});
    std::printf("2. UI thread CPU during a %.3f s unanswered wait: %.3f ms = %.3f %% of the wall "
                "time%s   goal < 2 %%\n",
                wall, cpu * 1000.0, 100.0 * cpu / wall, answered ? " (it was answered!)" : "");
}

double fullImage(RemoteLink& link, sim::RemoteSimulator& remote, bool paced) {
    std::mt19937 rng(7);
    std::vector<uint8_t> image(kBlocks * 64);
    for (auto& b : image)
        b = static_cast<uint8_t>(rng());
    sim::Faults f;
    f.paced = paced;
    remote.setFaults(f);
    remote.clearFrames();
    int wrong = 0;
    const auto t0 = Steady::now();
    for (int b = 0; b < kBlocks; ++b) {
        const bool last = b == kBlocks - 1;
        link.Senden(BlockFrame(static_cast<uint16_t>(0x1000 + 64 * b),
                               std::span(image).subspan(static_cast<size_t>(64 * b), 64), last));
        if (!link.Empfangen(5, 5)) {
            std::fprintf(stderr, "bench: block %d unanswered\n", b);
            std::exit(1);
        }
        wrong += link.RxBuffer != BlockReply(last);
    }
    const double wall = ms(Steady::now() - t0) / 1000.0;
    const auto got = remote.image();
    if (wrong || !std::equal(image.begin(), image.end(), got.begin() + 0x1000)) {
        std::fprintf(stderr, "bench: %d wrong replies, image %s\n", wrong,
                     std::equal(image.begin(), image.end(), got.begin() + 0x1000) ? "right"
                                                                                  : "wrong");
        std::exit(1);
    }
    remote.setFaults({});
    return wall;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool paced = false;
    int exchanges = 500;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--paced")
            paced = true;
        else if (a == "--exchanges" && i + 1 < argc)
            exchanges = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: bench_devicelink [--paced] [--exchanges N]\n");
            return 2;
        }
    }

    std::string dir = (std::filesystem::temp_directory_path() / "bench-devicelink-XXXXXX").string();
    if (!mkdtemp(dir.data()))
        return 1;

    {
        sim::RemoteSimulator remote;
        remote.publish(dir).applyEnv();
        StringList Memo1, Memo2;
        RemoteLink link(&Memo1, &Memo2);
        openLink(link);

        latency(link, remote, exchanges);
        idleWait(link, remote);
        const double unpaced = fullImage(link, remote, false);
        std::printf("3. %d unpaced block exchanges (a full image): %.3f s   goal < 1 s\n", kBlocks,
                    unpaced);
        if (paced) {
            const double floor = kBlocks * kLineBytes * 10.0 / 9600.0;
            const double wall = fullImage(link, remote, true);
            std::printf("4. %d block exchanges paced at 9600 baud: %.3f s, line-time floor %.3f s, "
                        "%+.2f %%   goal within 1 %%\n",
                        kBlocks, wall, floor, 100.0 * (wall - floor) / floor);
        } else {
            std::printf("4. (the paced run takes about 67 s; run with --paced)\n");
        }
        link.ComPort1.Close();
    }
    std::filesystem::remove_all(dir);
    return 0;
}
