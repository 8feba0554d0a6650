// Start-up of the tool with stored credentials against the portal stand-in:
//  - time from process start to the login request reaching the portal;
//  - time until the portal's start page has loaded in the browser;
//  - memory once that page is up: resident set of the tool's own process, and the
//    proportional set (PSS) of the tool with its WebEngine helper processes.
//
//   startup_bench [--runs N] [--binary PATH]
//
// Runs offscreen unless QT_QPA_PLATFORM is set (under xvfb-run: QT_QPA_PLATFORM=xcb).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/scratchdir.h"
#include "tools/portal/standin.h"
#include "util/registry.h"
#include "util/settings.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvana;

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// kB of one field ("VmRSS:", "Pss:") of a /proc file; 0 when absent.
long procField(const std::string& file, const std::string& field) {
    std::istringstream in(slurp(file));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + field.size());
    return 0;
}

// The process and all its descendants.
std::vector<pid_t> tree(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> all; // pid, parent
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            const pid_t pid = std::atoi(e->d_name);
            if (pid <= 0)
                continue;
            const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
            const auto close = stat.rfind(')');
            if (close == std::string::npos)
                continue;
            int ppid = 0;
            char state;
            std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid);
            all.emplace_back(pid, ppid);
        }
        ::closedir(d);
    }
    std::vector<pid_t> out{root};
    for (size_t i = 0; i < out.size(); ++i)
        for (const auto& [pid, ppid] : all)
            if (ppid == out[i])
                out.push_back(pid);
    return out;
}

bool logHas(const std::string& file, const std::string& what) {
    return slurp(file).find(what) != std::string::npos;
}

struct Run {
    double loginMs = -1, loadedMs = -1;
    long rssKb = 0, treePssKb = 0;
    int processes = 0;
};

Run once(const std::string& binary) {
    Run r;
    test::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    RegWriteString(settings::kCredentialsKey, settings::kUserIdValue, "bench", HKEY_CURRENT_USER);
    RegWriteString(settings::kCredentialsKey, settings::kPasscodeValue, "pass", HKEY_CURRENT_USER);
    RegWriteString(settings::kCredentialsKey, settings::kLanguageValue, "DE", HKEY_CURRENT_USER);
    const std::string log = dir.file("requests.log");
    tools::PortalStandIn portal({"--log", log, "--beacon"});
    setenv("CORVANA_PORTAL_HOST_INT", portal.host().c_str(), 1);
    setenv("CORVANA_PORTAL_HOST_DE", portal.host().c_str(), 1);

    std::vector<char*> argv{const_cast<char*>(binary.c_str()), nullptr};
    pid_t pid = -1;
    const auto t0 = Clock::now();
    if (::posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", binary.c_str());
        std::exit(1);
    }
    const auto ms = [&] {
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };
    while (ms() < 60000) {
        if (r.loginMs < 0 && logHas(log, "GET /Login.aspx?"))
            r.loginMs = ms();
        if (logHas(log, "GET /__loaded?%2F(S(")) {
            r.loadedMs = ms();
            break;
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "the tool ended early\n");
            std::exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // let the engine settle after the load before taking the memory figures
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    r.rssKb = procField("/proc/" + std::to_string(pid) + "/status", "VmRSS:");
    for (pid_t p : tree(pid)) {
        r.treePssKb += procField("/proc/" + std::to_string(p) + "/smaps_rollup", "Pss:");
        ++r.processes;
    }
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100 && ::waitpid(pid, nullptr, WNOHANG) != pid; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (::kill(pid, 0) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string binary = std::string(CORVANA_BUILD_BIN) + "/pcorvanabrowser";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--binary")
            binary = argv[i + 1];
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (::geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);

    std::printf("platform %s, %d runs (the first one warms the caches and is not counted)\n",
                std::getenv("QT_QPA_PLATFORM"), runs);
    std::vector<double> login, loaded, rss, pss;
    for (int i = 0; i <= runs; ++i) {
        const Run r = once(binary);
        std::printf("run %d: login request %.0f ms, page loaded %.0f ms, RSS %.1f MB, "
                    "PSS of %d processes %.1f MB%s\n",
                    i, r.loginMs, r.loadedMs, r.rssKb / 1024.0, r.processes, r.treePssKb / 1024.0,
                    i == 0 ? " (warm-up)" : "");
        if (r.loginMs < 0 || r.loadedMs < 0) {
            std::fprintf(stderr, "the portal was not reached\n");
            return 1;
        }
        if (i == 0)
            continue;
        login.push_back(r.loginMs);
        loaded.push_back(r.loadedMs);
        rss.push_back(r.rssKb / 1024.0);
        pss.push_back(r.treePssKb / 1024.0);
    }
    std::printf("median: login request after %.0f ms (goal < 1500 ms), start page loaded after "
                "%.0f ms, RSS %.1f MB, PSS with helpers %.1f MB\n",
                median(login), median(loaded), median(rss), median(pss));
    return median(login) < 1500 ? 0 : 2;
}
