#pragma once
// The simulated remote control for the Windows tests: the Linux remotesim, started through
// simlaunch.sh as a Unix process of wine, its pseudo-terminal published as a COM port of the
// prefix, and driven through its command channel (the commands of remotesim --help).
//
//   test::WinSim sim({"--type", "01"});   // the port: sim.portName(), e.g. "COM10"
//   sim.publishBridge();                   // the stand-in library and "PortName" point at it
//   sim.command("silent");                 // "ok"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratchdir.h"

namespace corvana::test {

class WinSim {
public:
    explicit WinSim(const std::vector<std::string>& options = {}) {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("no listening socket");
        std::string cmd = "/bin/bash \"" + std::string(CORVANA_SOURCE_DIR) +
                          "/tests/win32/simlaunch.sh\" \"" + CORVANA_HOST_BIN + "/remotesim\" \"" +
                          env("WINEPREFIX") + "\" " + std::to_string(ntohs(a.sin_port));
        for (const auto& o : options)
            cmd += " \"" + o + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        if (!::CreateProcessA("/bin/bash", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &process_))
            throw std::runtime_error("cannot start the simulator");
        fd_set r;
        FD_ZERO(&r);
        FD_SET(listener_, &r);
        timeval tv{20, 0};
        if (::select(0, &r, nullptr, nullptr, &tv) != 1)
            throw std::runtime_error("the simulator did not call back");
        channel_ = ::accept(listener_, nullptr, nullptr);
        for (std::string line = readLine(); line != "ready"; line = readLine()) {
            if (line.rfind("com ", 0) == 0)
                port_ = "COM" + line.substr(4);
            else if (line.rfind("error", 0) == 0 || line.empty())
                throw std::runtime_error("simulator: " + line);
        }
    }

    ~WinSim() {
        send("quit\n");
        ::WaitForSingleObject(process_.hProcess, 5000);
        ::CloseHandle(process_.hProcess);
        ::CloseHandle(process_.hThread);
        ::closesocket(channel_);
        ::closesocket(listener_);
        if (!keyPath_.empty())
            ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyPath_.c_str());
    }

    WinSim(const WinSim&) = delete;
    WinSim& operator=(const WinSim&) = delete;

    const std::string& portName() const { return port_; }
    int portNumber() const { return std::stoi(port_.substr(3)); }

    // Sends one command; its reply line ("ok", "frames N" ...).
    std::string command(const std::string& line) {
        send(line + "\n");
        return readLine();
    }

    // The frames received so far, as lines of hex pairs.
    std::vector<std::string> frames() {
        const std::string head = command("frames");
        const int n = std::stoi(head.substr(7));
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i)
            out.push_back(readLine());
        return out;
    }

    // Makes the stand-in library report this simulator's bridge (as the first of `before`
    // and `after`) and writes its "PortName" under the USB device tree's key.
    void publishBridge(const std::string& serial = "", const std::string& before = "",
                       const std::string& after = "") {
        serial_ = serial.empty() ? "WS" + port_.substr(3) : serial;
        std::string list = before;
        if (!list.empty())
            list += ";";
        list += "10c4:ea60:" + serial_ + ":CP2102 USB to UART Bridge Controller";
        if (!after.empty())
            list += ";" + after;
        bridges_ = std::make_unique<ScopedEnv>("CORVANA_STANDIN_BRIDGES", list);
        std::string instance = serial_;
        for (char& c : instance)
            if (c == ' ')
                c = '_';
        keyPath_ =
            "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\" + instance + "_00";
        HKEY k;
        const std::string params = keyPath_ + "\\Device Parameters";
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, params.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("cannot write the port's key");
        ::RegSetValueExA(k, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port_.c_str()),
                         static_cast<DWORD>(port_.size() + 1));
        ::RegCloseKey(k);
    }

    // Waits until the simulator has received `n` frames.
    bool waitForFrames(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (frames().size() >= n)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    static std::string env(const char* name) {
        const char* v = std::getenv(name);
        return v ? v : "";
    }

    void send(const std::string& s) { ::send(channel_, s.data(), static_cast<int>(s.size()), 0); }

    std::string readLine() {
        std::string line;
        for (;;) {
            const auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            fd_set r;
            FD_ZERO(&r);
            FD_SET(channel_, &r);
            timeval tv{10, 0};
            if (::select(0, &r, nullptr, nullptr, &tv) != 1)
                return "";
            char buf[4096];
            const int n = ::recv(channel_, buf, sizeof buf, 0);
            if (n <= 0)
                return "";
            buffer_.append(buf, static_cast<size_t>(n));
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    SOCKET channel_ = INVALID_SOCKET;
    PROCESS_INFORMATION process_{};
    std::string port_, serial_, keyPath_, buffer_;
    std::unique_ptr<ScopedEnv> bridges_;
};

} // namespace corvana::test
