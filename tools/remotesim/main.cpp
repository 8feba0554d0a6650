// remotesim: a simulated remote control on a pseudo-terminal, published as the tty of a fake
// CP210x bridge in a fake USB device tree, for the demo and for end-to-end tests.
//
// It prints the environment to use (and writes it to --env-file once everything is in
// place), then answers frames until SIGINT/SIGTERM or the command "quit" on stdin. Commands
// on stdin change its behaviour while it runs (see --help).

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "tools/remotesim/remotesim.h"

namespace fs = std::filesystem;
using corvana::sim::FakeBridge;
using corvana::sim::Faults;
using corvana::sim::FrameRecord;
using corvana::sim::RemoteSimulator;

namespace {

const char* kUsage = R"(usage: remotesim [options]
  --dir DIR          where the fake tree goes (DIR/sys/bus/usb/devices, DIR/dev);
                     default: a new temporary directory, removed at exit
  --env-file FILE    write the export lines to FILE once the tree is in place
  --type CODE        device type the remote acknowledges (default 00)
  --readout FIELD    four characters the read-out answers with (default 007B)
  --vid HEX --pid HEX --serial TEXT --product TEXT --com N --bus-path P
                     the fake bridge (default 10c4, ea60, 0001, COM1, 1-1)
  --silent           never answer          --silent-from N   no answer from frame N on
  --wrong-from N     wrong replies from frame N on   --wrong-reply HEX  the reply to use
  --split N          replies in pieces of N bytes    --extra HEX  bytes appended to replies
  --paced            9600-baud line timing           --delay MS   remote's time per frame
  --vanish-at N      close the pseudo-terminal on frame N
  --record FILE      append every frame received as a line of hex pairs
  --image FILE       write the 32 KB memory image after each last block and at exit
  --verbose          log frames and replies to stderr
stdin commands: type CODE | readout FIELD | silent [N] | speak | wrong [N] | right |
  split N | extra HEX | paced on|off | delay MS | send HEX | vanish | unplug | plug |
  frames | clear | quit
)";

std::string hexOf(const std::string& bytes) {
    std::string out;
    char b[4];
    for (const unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

std::string bytesOf(const std::string& hex) {
    std::string out;
    std::istringstream in(hex);
    std::string pair;
    while (in >> pair)
        out += static_cast<char>(std::stoi(pair, nullptr, 16));
    return out;
}

void writeFileAtomically(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << text;
    }
    fs::rename(tmp, path);
}

void writeImage(const std::string& path, const std::vector<uint8_t>& image) {
    if (path.empty())
        return;
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    fs::rename(tmp, path);
}

std::atomic<bool> quitRequested{false};
int quitPipe[2] = {-1, -1};

void requestQuit() {
    quitRequested = true;
    const char c = 'q';
    [[maybe_unused]] auto r = ::write(quitPipe[1], &c, 1);
}

// Applies one stdin command; the reply line for it.
std::string command(RemoteSimulator& sim, const std::string& line) {
    std::istringstream in(line);
    std::string cmd, arg;
    in >> cmd;
    std::getline(in >> std::ws, arg);
    Faults f = sim.faults();
    const auto number = [&](int fallback) { return arg.empty() ? fallback : std::stoi(arg); };
    if (cmd == "type")
        sim.setDeviceType(arg);
    else if (cmd == "readout")
        sim.setReadOutField(arg);
    else if (cmd == "silent")
        f.silentFrom = static_cast<int>(sim.frameCount()) + number(1);
    else if (cmd == "speak")
        f.silentFrom = 0;
    else if (cmd == "wrong")
        f.wrongFrom = static_cast<int>(sim.frameCount()) + number(1);
    else if (cmd == "right")
        f.wrongFrom = 0;
    else if (cmd == "split")
        f.splitChunk = static_cast<size_t>(number(0));
    else if (cmd == "extra")
        f.extraBytes = bytesOf(arg);
    else if (cmd == "paced")
        f.paced = arg != "off";
    else if (cmd == "delay")
        f.replyDelay = std::chrono::milliseconds(number(0));
    else if (cmd == "send")
        sim.send(bytesOf(arg));
    else if (cmd == "vanish")
        sim.vanish();
    else if (cmd == "unplug")
        sim.unplug();
    else if (cmd == "plug")
        sim.plug();
    else if (cmd == "frames") {
        std::string out = "frames " + std::to_string(sim.frameCount());
        for (const auto& fr : sim.frames())
            out += "\n" + hexOf(fr);
        return out;
    } else if (cmd == "clear")
        sim.clearFrames();
    else if (cmd == "quit") {
        requestQuit();
        return "bye";
    } else if (!cmd.empty())
        return "error unknown command " + cmd;
    else
        return "";
    sim.setFaults(f);
    return "ok";
}

} // namespace

int main(int argc, char** argv) {
    std::string dir, envFile, record, imageFile;
    std::string type = "00", readout = "007B";
    FakeBridge bridge;
    Faults faults;
    bool verbose = false;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            const auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw std::invalid_argument(a + " needs a value");
                return argv[++i];
            };
            if (a == "--help" || a == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (a == "--dir")
                dir = value();
            else if (a == "--env-file")
                envFile = value();
            else if (a == "--type")
                type = value();
            else if (a == "--readout")
                readout = value();
            else if (a == "--vid")
                bridge.vendorId = static_cast<uint16_t>(std::stoul(value(), nullptr, 16));
            else if (a == "--pid")
                bridge.productId = static_cast<uint16_t>(std::stoul(value(), nullptr, 16));
            else if (a == "--serial")
                bridge.serial = value();
            else if (a == "--product")
                bridge.product = value();
            else if (a == "--com")
                bridge.ttyIndex = std::stoi(value()) - 1;
            else if (a == "--bus-path")
                bridge.busPath = value();
            else if (a == "--silent")
                faults.silentFrom = 1;
            else if (a == "--silent-from")
                faults.silentFrom = std::stoi(value());
            else if (a == "--wrong-from")
                faults.wrongFrom = std::stoi(value());
            else if (a == "--wrong-reply")
                faults.wrongReply = bytesOf(value());
            else if (a == "--split")
                faults.splitChunk = std::stoul(value());
            else if (a == "--extra")
                faults.extraBytes = bytesOf(value());
            else if (a == "--paced")
                faults.paced = true;
            else if (a == "--delay")
                faults.replyDelay = std::chrono::milliseconds(std::stoi(value()));
            else if (a == "--vanish-at")
                faults.vanishAt = std::stoi(value());
            else if (a == "--record")
                record = value();
            else if (a == "--image")
                imageFile = value();
            else if (a == "--verbose")
                verbose = true;
            else
                throw std::invalid_argument("unknown option " + a);
        }
        if (bridge.ttyIndex < 0)
            throw std::invalid_argument("--com must be 1 or more");
    } catch (const std::exception& e) {
        std::cerr << "remotesim: " << e.what() << "\n" << kUsage;
        return 2;
    }

    // Signals are taken by one thread with sigwait, so the simulator's threads never see them.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGTERM);
    sigaddset(&sigs, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    if (::pipe(quitPipe) != 0)
        return 1;

    bool ownDir = false;
    if (dir.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "remotesim-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) {
            std::perror("remotesim: mkdtemp");
            return 1;
        }
        dir = tmpl;
        ownDir = true;
    }

    try {
        RemoteSimulator sim;
        sim.setDeviceType(type);
        sim.setReadOutField(readout);
        sim.setFaults(faults);
        std::mutex outMutex;
        std::ofstream recordOut;
        if (!record.empty())
            recordOut.open(record, std::ios::app);
        sim.setFrameListener([&](const FrameRecord& r) {
            std::lock_guard lock(outMutex);
            if (recordOut.is_open())
                recordOut << hexOf(r.bytes) << std::endl;
            if (verbose)
                std::cerr << "<< " << hexOf(r.bytes) << "\n>> "
                          << (r.replied ? hexOf(r.reply) : std::string("(no reply)")) << std::endl;
            if (!imageFile.empty() && r.bytes.size() == 138 && r.bytes[136] == 0x04)
                writeImage(imageFile, sim.image());
        });
        auto& tree = sim.publish(dir, bridge);

        const std::string exports = tree.envExports();
        std::cout << exports << "# remotesim: " << sim.ptyPath() << " as COM" << bridge.ttyIndex + 1
                  << std::endl;
        if (!envFile.empty())
            writeFileAtomically(envFile, exports);

        std::thread signals([&] {
            int sig = 0;
            sigwait(&sigs, &sig);
            requestQuit();
        });
        signals.detach();
        std::thread input([&] {
            std::string line;
            while (!quitRequested && std::getline(std::cin, line)) {
                std::string reply;
                try {
                    reply = command(sim, line);
                } catch (const std::exception& e) {
                    reply = std::string("error ") + e.what();
                }
                if (!reply.empty()) {
                    std::lock_guard lock(outMutex);
                    std::cout << reply << std::endl;
                }
            }
            // End of input is not a reason to stop: the demo runs it with stdin closed.
        });
        input.detach();

        char c;
        while (::read(quitPipe[0], &c, 1) < 0 && errno == EINTR) {
        }
        sim.setFrameListener(nullptr);
        writeImage(imageFile, sim.image());
        sim.unplug();
        if (ownDir)
            fs::remove_all(dir);
        if (!envFile.empty())
            fs::remove(envFile);
        // The input thread may still sit in getline on `sim`: leave without unwinding.
        std::fflush(stdout);
        std::_Exit(0);
    } catch (const std::exception& e) {
        std::cerr << "remotesim: " << e.what() << "\n";
        if (ownDir)
            fs::remove_all(dir);
        return 1;
    }
}
