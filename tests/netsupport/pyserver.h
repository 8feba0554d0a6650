#pragma once
// Starts a real server package (a Python server module) on loopback for the tests that must
// talk to a peer no one here wrote. The script binds to 127.0.0.1 on a free port and prints
// that port as its first line; the server is stopped when the object goes.
//
// Under wine the Linux python3 is started as a Unix process of wine (through pylaunch.sh), and
// arguments that are Windows paths ("C:\...") reach it as the Unix paths wine maps them to.

#include "tests/netsupport/loopback.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvana::test {

// The first python3 (on PATH, then the system's) that can import `module`; "" when none.
// `anyPython` tells whether any python3 was found at all.
std::string findPython(const std::string& module, bool& anyPython);

// For the starters: the port the script's first line names, once something accepts there
// (before `deadline`); 0 with `error` set otherwise.
uint16_t acceptingPort(const std::string& line, std::chrono::steady_clock::time_point deadline,
                       std::string& error);

class PythonServer {
public:
    PythonServer(const std::string& python, const std::string& script,
                 const std::vector<std::string>& args);
    ~PythonServer();
    PythonServer(const PythonServer&) = delete;
    PythonServer& operator=(const PythonServer&) = delete;

    // True once the server has told its port and accepts connections there.
    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    const std::string& error() const { return error_; }

private:
#ifdef _WIN32
    SocketFd channel_ = kNoSocket; // the launcher's call-back; its end stops the server
#else
    pid_t pid_ = -1;
#endif
    uint16_t port_ = 0;
    std::string error_;
};

} // namespace corvana::test
