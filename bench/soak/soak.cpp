// soak [--runs N] [--showings N] [--every N] [--clear-memo]
//
// A service bench's working day in one process, to show that nothing grows:
//   1. the wizard's road logic N times (default 500): the code file downloaded from the real
//      code server (pyftpdlib, tools/codeserver) on loopback, loaded, a full image (448
//      blocks) programmed into the simulated remote (tools/remotesim, unpaced), and the
//      completion report sent to the portal stand-in (tools/portal);
//   2. the wizard window itself N times (default 100): shown, its download arrow and its
//      finished arrow pressed, closed, offscreen, with a fake portal browser behind it.
// After run 1, 10, 100 and the last it prints the open descriptors, the threads and the
// resident size. Goal: no descriptor or thread growth after run 10, RSS growth from run 10
// to the last under 1 MB. The window's hidden log Memo1 is never emptied, so its size is
// printed beside, and the growth net of it.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "device/remotelink.h"
#include "net/ftpsession.h"
#include "net/httpclient.h"
#include "shell/appstate.h"
#include "shell/browser.h"
#include "shell/corvanabrowser.h"
#include "tests/netsupport/pyserver.h"
#include "tests/support/fakebrowser.h"
#include "util/settings.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"
#include "wizard/logic/hexloader.h"
#include "wizard/logic/programmingrun.h"

extern char** environ;

using namespace corvana;

namespace {

const char* kOrder = "02:12345";
const char* kCodeFile = "PQD_12345.hex";
const char* kSession = "s0ak";

// Thrown, so that the servers and the simulator are stopped on the way out.
[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what);
}

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string f = field;
    while (std::getline(in, line))
        if (line.rfind(f, 0) == 0)
            return std::stol(line.substr(f.size()));
    return -1;
}

int openFds() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n - 1; // the directory being read
}

struct Figures {
    int run = 0;
    int fds = 0;
    long threads = 0;
    long rssKb = 0;
    long trimmedKb = 0; // after the allocator has handed its free pages back
    size_t memoBytes = 0;
};

size_t bytesOf(const StringList& memo) {
    size_t n = 0;
    for (const auto& l : memo.lines())
        n += l.size() + sizeof(std::string);
    return n;
}

Figures take(int run, size_t memoBytes = 0) {
    Figures f{run, openFds(), statusKb("Threads:"), statusKb("VmRSS:"), 0, memoBytes};
    ::malloc_trim(0);
    f.trimmedKb = statusKb("VmRSS:");
    return f;
}

void print(const char* part, const std::vector<Figures>& f, bool withMemo) {
    std::printf("%s\n  %-6s %5s %8s %10s %12s%s\n", part, "run", "fds", "threads", "RSS kB",
                "trimmed kB", withMemo ? "   Memo1 kB" : "");
    for (const auto& x : f) {
        std::printf("  %-6d %5d %8ld %10ld %12ld", x.run, x.fds, x.threads, x.rssKb, x.trimmedKb);
        if (withMemo)
            std::printf(" %10zu", x.memoBytes / 1024);
        std::printf("\n");
    }
    const Figures* ten = nullptr;
    for (const auto& x : f)
        if (x.run == 10)
            ten = &x;
    if (ten && f.back().run > 10) {
        const Figures& last = f.back();
        const long grown = last.rssKb - ten->rssKb;
        std::printf("  from run 10 to %d: fds %+d, threads %+ld, RSS %+ld kB (trimmed %+ld kB)",
                    last.run, last.fds - ten->fds, last.threads - ten->threads, grown,
                    last.trimmedKb - ten->trimmedKb);
        if (withMemo) {
            const long memo =
                (static_cast<long>(last.memoBytes) - static_cast<long>(ten->memoBytes)) / 1024;
            std::printf(" (Memo1 %+ld kB, RSS net of it %+ld kB)", memo, grown - memo);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

int g_every = 0; // --every N: a line every N runs besides

bool reportPoint(int run, int last) {
    return run == 1 || run == 10 || run == 100 || run == last ||
           (g_every > 0 && run % g_every == 0);
}

// tools/remotesim as a process of its own, so that its records do not count in our figures.
class Simulator {
public:
    Simulator(const std::string& dir) {
        const std::string env = dir + "/remote.env";
        const std::string bin = CORVANA_BUILD_BIN "/remotesim";
        std::vector<std::string> args = {bin, "--dir",  dir + "/tree", "--env-file",
                                         env, "--type", "02"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, bin.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            fail("cannot start " + bin);
        for (int i = 0; i < 200 && !std::filesystem::exists(env); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(env);
        std::string line;
        int vars = 0;
        while (std::getline(in, line)) {
            // export NAME=VALUE (the value possibly quoted)
            if (line.rfind("export ", 0) == 0)
                line.erase(0, 7);
            const size_t eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"'))
                value = value.substr(1, value.size() - 2);
            ::setenv(line.substr(0, eq).c_str(), value.c_str(), 1);
            ++vars;
        }
        if (vars == 0)
            fail("the simulator wrote no environment");
    }
    ~Simulator() {
        ::kill(pid_, SIGTERM);
        int st = 0;
        ::waitpid(pid_, &st, 0);
    }

private:
    pid_t pid_ = -1;
};

// The wizard's road without its window: download, load, programme, report.
class Road {
public:
    StringList Memo1, Memo2;
    device::RemoteLink Link{&Memo1, &Memo2};
    MemoryImage Image;
    net::HttpClient HttpClient1; // lives with the wizard, across orders

    void once(const std::string& localPath) {
        {
            net::TFtpSession session;
            session.UseCodeServer();
            session.Client.Connect();
            if (!session.ChangeDirectory(settings::kCodeServerDirectory))
                fail("Fehler(1)");
            if (session.ListFiles().Count() < 1)
                fail("empty listing");
            if (!session.Download(kCodeFile, localPath, true))
                fail("download failed");
            const MessageFn show = [](const std::string& t) { fail("message: " + t); };
            if (!LadenHexFile(Image, Memo1, localPath, show))
                fail("load failed");
            ProgrammingRun run(Link, Image, &Memo1, &Memo2);
            RunDisplay quiet;
            const RunResult r = run.Programme("02", quiet);
            if (r.outcome != RunOutcome::Programmed || !r.wrong.empty() || r.blocks != 448)
                fail("programming failed");
            std::remove(localPath.c_str());
            session.Client.Disconnect();
        }
        const std::string body =
            HttpClient1.Get("http://" + settings::portalHostGerman() + "/Corvana/(S(" + kSession +
                            "))/Statistik.aspx?QYX=QYX12345-PQ");
        if (body.empty())
            fail("empty report answer");
        // The wizard's Memo1 is its window's state; the window part measures it.
        Memo1.Clear();
    }
};

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int argValue(int argc, char** argv, const char* name, int def) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == name)
            return std::atoi(argv[i + 1]);
    return def;
}

} // namespace

int soak(int argc, char** argv);

int main(int argc, char** argv) {
    try {
        return soak(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soak: %s\n", e.what());
        return 1;
    }
}

int soak(int argc, char** argv) {
    const int runs = argValue(argc, argv, "--runs", 500);
    const int showings = argValue(argc, argv, "--showings", 100);
    g_every = argValue(argc, argv, "--every", 0);
    // Empties the window's log after each showing, to tell its share of the growth apart.
    bool clearMemo = false;
    for (int i = 1; i < argc; ++i)
        clearMemo = clearMemo || std::string(argv[i]) == "--clear-memo";
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    char tmpl[] = "/tmp/corvana-soak-XXXXXX";
    if (!::mkdtemp(tmpl))
        fail("no temporary directory");
    const std::string dir = tmpl;
    std::filesystem::create_directories(dir + "/codes");
    std::filesystem::create_directories(dir + "/tmp");
    ::setenv("TMPDIR", (dir + "/tmp").c_str(), 1);
    // Every run leaves its run log, as in the field, but in here, not in the user's own.
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);

    bool anyPython = false;
    const std::string py = test::findPython("pyftpdlib", anyPython);
    if (py.empty())
        fail("no python3 with pyftpdlib (tools/deps.sh installs it)");
    // The starter takes a script's text.
    test::PythonServer codeServer(py,
                                  fileText(CORVANA_SOURCE_DIR "/tools/codeserver/codeserver.py"),
                                  {dir + "/codes", "--make", kOrder, "--size", "0x7000"});
    test::PythonServer portal(py, fileText(CORVANA_SOURCE_DIR "/tools/portal/portal.py"),
                              {"--order", kOrder, "--session", kSession});
    if (!codeServer.ok() || !portal.ok())
        fail("a server did not start: " + codeServer.error() + portal.error());
    const std::string portalHost = "127.0.0.1:" + std::to_string(portal.port());
    ::setenv("CORVANA_CODE_SERVER", "127.0.0.1", 1);
    ::setenv("CORVANA_CODE_SERVER_PORT", std::to_string(codeServer.port()).c_str(), 1);
    ::setenv("CORVANA_PORTAL_HOST_DE", portalHost.c_str(), 1);
    ::setenv("CORVANA_PORTAL_HOST_INT", portalHost.c_str(), 1);
    Simulator sim(dir);

    QApplication app(argc, argv);

    if (runs > 0) {
        Road road;
        std::vector<Figures> figures;
        const std::string local = dir + "/tmp/Printer.drv";
        for (int run = 1; run <= runs; ++run) {
            road.once(local);
            if (reportPoint(run, runs))
                figures.push_back(take(run));
        }
        print("road logic (download, load, 448 blocks, report)", figures, false);
    }

    if (showings > 0) {
        std::vector<std::string> boxes;
        ui::setMessageHook([&](const ui::MessageRecord& r) { boxes.push_back(r.text); });
        setBrowserFactory([] { return std::make_unique<test::FakeBrowser>(); });
        const QString login = QString::fromStdString("http://" + portalHost +
                                                     "/Login.aspx?SPK=DE&userid=u&passcode=p");
        const QString order =
            QString::fromStdString("http://" + portalHost + "/Corvana/(S(" + kSession +
                                   "))/DownloadFB.aspx?a=QYX12345-PQ&FB=02");
        Form4 = new TForm4();
        auto* browser = test::FakeBrowser::of(Form4->WebBrowser1);
        Form1 = new TForm1();
        std::vector<Figures> figures;
        for (int run = 1; run <= showings; ++run) {
            browser->history = {login, order};
            browser->index = 1;
            browser->location = order;
            Form1->show();
            QApplication::processEvents();
            Form1->AdvPictureWeiter->Click();
            Form1->AdvPictureDownload->Click();
            Form1->AdvPictureFertig->Click();
            Form1->close();
            QApplication::processEvents();
            if (!boxes.empty())
                fail("message in showing " + std::to_string(run) + ": " + boxes.front());
            if (browser->backCalls != run)
                fail("the wizard did not close in showing " + std::to_string(run));
            if (clearMemo)
                Form1->Memo1.Clear();
            if (reportPoint(run, showings))
                figures.push_back(take(run, bytesOf(Form1->Memo1)));
        }
        print("wizard window (shown, download arrow, finished arrow, closed)", figures, true);
        delete Form1;
        Form1 = nullptr;
        delete Form4;
        Form4 = nullptr;
        setBrowserFactory(nullptr);
        ui::setMessageHook(nullptr);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
