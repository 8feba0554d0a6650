#include "tests/netsupport/pyserver.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvana::test {
namespace {

// Generous: two cores are shared with other builds, and Python starts slowly under load.
constexpr int kStartMs = 30000;

pid_t spawn(const std::vector<std::string>& argv, int stdoutFd) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(stdoutFd >= 0 ? stdoutFd : devnull, 1);
        ::dup2(devnull, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

bool executable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "";
    size_t start = 0;
    while (start <= all.size()) {
        const size_t end = all.find(':', start);
        const std::string dir = all.substr(start, end - start);
        if (!dir.empty() && executable(dir + "/" + name))
            return dir + "/" + name;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return "";
}

int waitExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::string findPython(const std::string& module, bool& anyPython) {
    anyPython = false;
    for (const std::string& candidate : {onPath("python3"), std::string("/usr/bin/python3")}) {
        if (candidate.empty() || !executable(candidate))
            continue;
        anyPython = true;
        const pid_t pid = spawn({candidate, "-c", "import " + module}, -1);
        if (pid > 0 && waitExit(pid) == 0)
            return candidate;
    }
    return "";
}

PythonServer::PythonServer(const std::string& python, const std::string& script,
                           const std::vector<std::string>& args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) < 0) {
        error_ = "pipe failed";
        return;
    }
    std::vector<std::string> argv{python, "-c", script};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = spawn(argv, out[1]);
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        error_ = "fork failed";
        return;
    }
    // The first line of output is the port.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitReadable(out[0], static_cast<int>(left.count())))
            break;
        char buf[64];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    port_ = acceptingPort(line, deadline, error_);
}

PythonServer::~PythonServer() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

} // namespace corvana::test
