#pragma once
// Starts a production server program from Debian (vsftpd, nginx) on loopback, with the
// configuration the test wrote, for the tests that must meet a peer no one here wrote. The
// server runs in the foreground, dies with the test and is stopped when the object goes.
// Linux only.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace corvana::test {

// The program's path (PATH, then /usr/sbin and /sbin, where servers live); "" when absent.
std::string findProgram(const std::string& name);

// A port on 127.0.0.1 that was free a moment ago, for a server that must be told its port.
uint16_t freeLoopbackPort();

class ServerProcess {
public:
    // Runs argv (its output into `logPath`) and waits until something accepts on
    // 127.0.0.1:`port`, or the program ends.
    ServerProcess(const std::vector<std::string>& argv, uint16_t port, const std::string& logPath);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool ok() const { return ok_; }
    // Why it is not running, with the end of its log.
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
    std::string error_;
};

// The clients wait without a time limit, as the tool does; against a server that stops
// answering, this ends the client's call (Abort) after a minute and the test fails instead of
// hanging until ctest kills it.
template <class Client> class AbortAfter {
public:
    explicit AbortAfter(Client& client, std::chrono::seconds limit = std::chrono::seconds(60))
        : thread_([this, &client, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return over_; }))
                  client.Abort();
          }) {}
    ~AbortAfter() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            over_ = true;
        }
        done_.notify_one();
        thread_.join();
    }
    AbortAfter(const AbortAfter&) = delete;
    AbortAfter& operator=(const AbortAfter&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::thread thread_;
};

} // namespace corvana::test
