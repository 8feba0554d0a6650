#include "tests/netsupport/ftpstub.h"

#include <cctype>
#include <chrono>
#include <cstdio>

namespace corvana::test {

FtpStub::FtpStub() {
    greeting_ = {ftp::reply("220 stub FTP server ready\r\n")};
    listen_ = listenLoopback(port_);
    thread_ = std::thread([this] { run(); });
}

FtpStub::~FtpStub() {
    stop_.signal();
    if (thread_.joinable())
        thread_.join();
    closeSocket(listen_);
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

bool FtpStub::waitDataClosed(int ms) {
    std::unique_lock l(mu_);
    return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return dataOpen_ == 0; });
}

void FtpStub::run() {
    for (;;) {
        std::vector<Watched> w{{listen_}, {stop_.fd()}};
        if (waitAny(w) < 0 || w[1].ready)
            return;
        const SocketFd fd = acceptOn(listen_);
        if (fd == kNoSocket)
            continue;
        {
            std::lock_guard l(mu_);
            ++sessions_;
        }
        serve(fd);
        closeSocket(fd);
        {
            std::lock_guard l(mu_);
            ++ended_;
        }
        cv_.notify_all();
    }
}

// Reads one line ending in LF; false when the client closed or the stub is stopping.
bool FtpStub::readLine(SocketFd fd, std::string& buf, std::string& line) {
    for (;;) {
        const size_t lf = buf.find('\n');
        if (lf != std::string::npos) {
            line = buf.substr(0, lf);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            buf.erase(0, lf + 1);
            return true;
        }
        std::vector<Watched> w{{fd}, {stop_.fd()}};
        if (waitAny(w) < 0 || w[1].ready)
            return false;
        char chunk[4096];
        const long n = receiveSome(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        std::lock_guard l(mu_);
        received_.append(chunk, static_cast<size_t>(n));
        buf.append(chunk, static_cast<size_t>(n));
    }
}

bool FtpStub::waitClientGone(SocketFd fd) {
    std::string buf, line;
    while (readLine(fd, buf, line)) {
        std::lock_guard l(mu_);
        commands_.push_back(line);
    }
    return false;
}

void FtpStub::serve(SocketFd fd) {
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
bool FtpStub::play(SocketFd fd, const FtpScript& s) {
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
                ++dataOpen_;
            }
            const SocketFd d = connectTo(host, port, step.from);
            if (d != kNoSocket) {
                sendAll(d, step.bytes);
                if (step.kind == FtpStep::Kind::DataReset)
                    closeWithReset(d);
                else
                    closeSocket(d);
            }
            {
                std::lock_guard l(mu_);
                --dataOpen_;
            }
            cv_.notify_all();
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
