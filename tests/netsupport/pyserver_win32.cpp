// The Python servers under wine: the Linux python3 runs as a Unix process of wine, started
// through /bin/bash and pylaunch.sh. Wine hands such a process neither pipes nor an exit code
// we could wait for, so the launcher calls back on a loopback connection and reports there.
#include "tests/netsupport/pyserver.h"

#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

namespace corvana::test {
namespace {

// Generous: two cores are shared with other builds, and Python starts slowly under load.
constexpr int kStartMs = 30000;

using Clock = std::chrono::steady_clock;

// One argument as CommandLineToArgvW (and wine, for a Unix program) splits it back.
std::string quoted(const std::string& arg) {
    std::string out = "\"";
    size_t slashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, '\\');
    return out + "\"";
}

bool isWindowsPath(const std::string& s) {
    return s.size() >= 3 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':' &&
           (s[2] == '\\' || s[2] == '/');
}

// The Unix path wine maps a Windows path to; "" outside wine.
std::string unixPath(const std::string& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return "";
    std::wstring wide(path.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                        static_cast<int>(wide.size()));
    if (n <= 0)
        return "";
    char* unix = toUnix(wide.c_str());
    if (!unix)
        return "";
    std::string out = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Starts the launcher with `args` and takes its call-back; kNoSocket (and `error`) on failure.
SocketFd launch(const std::vector<std::string>& args, Clock::time_point deadline,
                std::string& error) {
    uint16_t port = 0;
    const SocketFd listener = listenLoopback(port);
    if (listener == kNoSocket) {
        error = "no listening socket";
        return kNoSocket;
    }
    std::string cmd =
        "/bin/bash " + quoted(CORVANA_NETSUPPORT_DIR "/pylaunch.sh") + " " + std::to_string(port);
    for (const auto& a : args)
        cmd += " " + quoted(a);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA("/bin/bash", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi)) {
        closeSocket(listener);
        error = "cannot start /bin/bash (error " + std::to_string(::GetLastError()) + ")";
        return kNoSocket;
    }
    // A Unix process has no handles worth keeping; wine may give none.
    for (const HANDLE h : {pi.hProcess, pi.hThread})
        if (h)
            ::CloseHandle(h);
    SocketFd channel = kNoSocket;
    if (waitReadable(listener, msLeft(deadline)))
        channel = acceptOn(listener);
    closeSocket(listener);
    if (channel == kNoSocket)
        error = "the launcher did not call back";
    return channel;
}

// The next line from the launcher (without its LF); false when it ended or the time ran out.
bool readLine(SocketFd s, Clock::time_point deadline, std::string& line) {
    line.clear();
    for (;;) {
        if (!waitReadable(s, msLeft(deadline)))
            return false;
        char c;
        if (receiveSome(s, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

} // namespace

std::string findPython(const std::string& module, bool& anyPython) {
    // Unless the launcher says otherwise: a failure to ask must not pass for a skip.
    anyPython = true;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStartMs);
    std::string error, line;
    const SocketFd channel = launch({"find", module}, deadline, error);
    if (channel == kNoSocket)
        return "";
    const bool got = readLine(channel, deadline, line);
    closeSocket(channel);
    if (got && line == "none")
        anyPython = false;
    return got && line.rfind("python ", 0) == 0 ? line.substr(7) : "";
}

PythonServer::PythonServer(const std::string& python, const std::string& script,
                           const std::vector<std::string>& args) {
    std::vector<std::string> argv{"serve", python, script};
    for (const auto& a : args) {
        if (!isWindowsPath(a)) {
            argv.push_back(a);
            continue;
        }
        const std::string u = unixPath(a);
        if (u.empty()) {
            error_ = "no Unix path for " + a + " (not under wine?)";
            return;
        }
        argv.push_back(u);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStartMs);
    channel_ = launch(argv, deadline, error_);
    if (channel_ == kNoSocket)
        return;
    std::string line;
    readLine(channel_, deadline, line);
    port_ = acceptingPort(line, deadline, error_);
}

PythonServer::~PythonServer() {
    if (channel_ == kNoSocket)
        return;
    // The launcher stops the server once our side ends, then closes its own: wait for that.
    ::shutdown(channel_, SD_SEND);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    char buf[256];
    while (waitReadable(channel_, msLeft(deadline)) && receiveSome(channel_, buf, sizeof buf) > 0) {
    }
    closeSocket(channel_);
}

} // namespace corvana::test
