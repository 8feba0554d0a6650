#include "tests/netsupport/ftpstub.h"

#include "tests/netsupport/loopback.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvana::test {

FtpStub::FtpStub() {
    greeting_ = {ftp::reply("220 stub FTP server ready\r\n")};
    listen_ = listenLoopback(port_);
    if (::pipe2(stop_, O_CLOEXEC) < 0)
        stop_[0] = stop_[1] = -1;
    thread_ = std::thread([this] { run(); });
}

FtpStub::~FtpStub() {
    if (stop_[1] >= 0) [[maybe_unused]]
        auto n = ::write(stop_[1], "x", 1);
    if (thread_.joinable())
        thread_.join();
    for (int fd : {listen_, stop_[0], stop_[1]})
        if (fd >= 0)
            ::close(fd);
}

void FtpStub::greeting(FtpScript s) {
    std::lock_guard l(mu_);
    greeting_ = std::move(s);
}

void FtpStub::on(const std::string& verb, FtpScript s) {
    std::lock_guard l(mu_);
    on_[verb] = std::move(s);
}

void FtpStub::once(const std::string& verb, FtpScript s) {
    std::lock_guard l(mu_);
    once_[verb].push_back(std::move(s));
}

void FtpStub::setListing(std::string bytes) {
    std::lock_guard l(mu_);
    listing_ = std::move(bytes);
}

void FtpStub::setFile(const std::string& name, std::string bytes) {
    std::lock_guard l(mu_);
    files_[name] = std::move(bytes);
}

std::vector<std::string> FtpStub::commands() const {
    std::lock_guard l(mu_);
    return commands_;
}

std::string FtpStub::received() const {
    std::lock_guard l(mu_);
    return received_;
}

std::vector<uint16_t> FtpStub::dataPorts() const {
    std::lock_guard l(mu_);
    return dataPorts_;
}

std::vector<std::string> FtpStub::dataHosts() const {
    std::lock_guard l(mu_);
    return dataHosts_;
}

int FtpStub::sessions() const {
    std::lock_guard l(mu_);
    return sessions_;
}

bool FtpStub::waitClosed(int ms) {
    std::unique_lock l(mu_);
    if (!cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return ended_ > waited_; }))
        return false;
    ++waited_;
    return true;
}

void FtpStub::run() {
    for (;;) {
        pollfd p[2] = {{listen_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (p[1].revents)
            return;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            std::lock_guard l(mu_);
            ++sessions_;
        }
        serve(fd);
        ::close(fd);
        {
            std::lock_guard l(mu_);
            ++ended_;
        }
        cv_.notify_all();
    }
}

// Reads one line ending in LF; false when the client closed or the stub is stopping.
bool FtpStub::readLine(int fd, std::string& buf, std::string& line) {
    for (;;) {
        const size_t lf = buf.find('\n');
        if (lf != std::string::npos) {
            line = buf.substr(0, lf);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            buf.erase(0, lf + 1);
            return true;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (p[1].revents)
            return false;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        std::lock_guard l(mu_);
        received_.append(chunk, static_cast<size_t>(n));
        buf.append(chunk, static_cast<size_t>(n));
    }
}

bool FtpStub::waitClientGone(int fd) {
    std::string buf, line;
    while (readLine(fd, buf, line)) {
        std::lock_guard l(mu_);
        commands_.push_back(line);
    }
    return false;
}

void FtpStub::serve(int fd) {
    FtpScript greet;
    {
        std::lock_guard l(mu_);
        greet = greeting_;
    }
    if (!play(fd, greet))
        return;
    std::string buf, line;
    while (readLine(fd, buf, line)) {
        std::string verb = line.substr(0, line.find(' '));
        const std::string arg = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
        for (char& c : verb)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        FtpScript steps;
        {
            std::lock_guard l(mu_);
            commands_.push_back(line);
            if (verb == "PORT") {
                unsigned h[4], p1, p2;
                if (std::sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p1,
                                &p2) == 6) {
                    dataHosts_.push_back(std::to_string(h[0]) + "." + std::to_string(h[1]) + "." +
                                         std::to_string(h[2]) + "." + std::to_string(h[3]));
                    dataPorts_.push_back(static_cast<uint16_t>(p1 * 256 + p2));
                }
            }
            steps = answer(verb, arg);
        }
        if (!play(fd, steps))
            return;
    }
}

// Called with the lock held.
FtpScript FtpStub::answer(const std::string& verb, const std::string& arg) {
    auto o = once_.find(verb);
    if (o != once_.end() && !o->second.empty()) {
        FtpScript s = o->second.front();
        o->second.erase(o->second.begin());
        return s;
    }
    auto s = on_.find(verb);
    if (s != on_.end())
        return s->second;
    if (verb == "USER")
        return {ftp::reply("331 Password required\r\n")};
    if (verb == "PASS")
        return {ftp::reply("230 Logged in\r\n")};
    if (verb == "TYPE")
        return {ftp::reply("200 Type set to I\r\n")};
    if (verb == "SYST")
        return {ftp::reply("215 UNIX Type: L8\r\n")};
    if (verb == "CWD")
        return {ftp::reply("250 Directory changed\r\n")};
    if (verb == "PORT")
        return {ftp::reply("200 PORT command successful\r\n")};
    if (verb == "LIST")
        return {ftp::reply("150 Here comes the listing\r\n"), ftp::data(listing_),
                ftp::reply("226 Transfer complete\r\n")};
    if (verb == "RETR") {
        auto f = files_.find(arg);
        if (f == files_.end())
            return {ftp::reply("550 " + arg + ": No such file or directory\r\n")};
        return {ftp::reply("150 Opening BINARY mode data connection\r\n"), ftp::data(f->second),
                ftp::reply("226 Transfer complete\r\n")};
    }
    return {ftp::reply("502 Command not implemented\r\n")};
}

// False when the control connection has ended.
bool FtpStub::play(int fd, const FtpScript& s) {
    for (const auto& step : s) {
        switch (step.kind) {
        case FtpStep::Kind::Reply:
            if (!sendAll(fd, step.bytes))
                return false;
            break;
        case FtpStep::Kind::Data:
        case FtpStep::Kind::DataReset: {
            std::string host;
            uint16_t port = 0;
            {
                std::lock_guard l(mu_);
                if (!dataPorts_.empty()) {
                    host = dataHosts_.back();
                    port = dataPorts_.back();
                }
            }
            const int d = connectTo(host, port, step.from);
            if (d < 0)
                break;
            sendAll(d, step.bytes);
            if (step.kind == FtpStep::Kind::DataReset)
                closeWithReset(d);
            else
                ::close(d);
            break;
        }
        case FtpStep::Kind::Drop:
            return false;
        case FtpStep::Kind::Hang:
            return waitClientGone(fd);
        case FtpStep::Kind::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            break;
        }
    }
    return true;
}

} // namespace corvana::test
