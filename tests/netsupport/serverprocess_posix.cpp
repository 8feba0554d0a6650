#include "tests/netsupport/serverprocess.h"

#include "tests/netsupport/loopback.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvana::test {
namespace {

// Generous: two cores are shared with other builds.
constexpr int kStartMs = 30000;

std::string tail(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    const std::string all = s.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

} // namespace

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = std::string(path ? path : "") + ":/usr/sbin:/sbin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = dir + "/" + name;
        if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return "";
}

uint16_t freeLoopbackPort() {
    uint16_t port = 0;
    const SocketFd fd = listenLoopback(port);
    if (fd == kNoSocket)
        return 0;
    closeSocket(fd);
    return port;
}

ServerProcess::ServerProcess(const std::vector<std::string>& argv, uint16_t port,
                             const std::string& logPath) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    pid_ = ::fork();
    if (pid_ == 0) {
        // A test that crashes or is killed by ctest must not leave its server behind.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (log >= 0)
        ::close(log);
    if (pid_ < 0) {
        error_ = "fork failed";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = argv[0] + " ended (status " + std::to_string(status) + "); its log:\n" +
                     tail(logPath);
            return;
        }
        if (canConnect("127.0.0.1", port)) {
            ok_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = argv[0] + " does not accept on port " + std::to_string(port) + "; its log:\n" +
             tail(logPath);
}

ServerProcess::~ServerProcess() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

} // namespace corvana::test
