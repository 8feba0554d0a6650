#include "tools/portal/standin.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvana::tools {

std::string portalScript() {
    return CORVANA_PORTAL_SCRIPT;
}

PortalStandIn::PortalStandIn(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> argv{"python3", "-u", portalScript(), "--port", "0"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    const int rc = ::posix_spawnp(&pid_, "python3", &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start python3: " + std::string(std::strerror(rc)));
    }
    // The first line it prints is its port.
    std::string line;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            break;
        char c;
        const ssize_t n = ::read(out[0], &c, 1);
        if (n <= 0 || c == '\n')
            break;
        line += c;
    }
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
        stop();
        throw std::runtime_error("portal stand-in did not start");
    }
}

PortalStandIn::~PortalStandIn() {
    stop();
}

void PortalStandIn::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

std::string PortalStandIn::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string PortalStandIn::get(const std::string& method, const std::string& path) const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        throw std::runtime_error("portal stand-in not reachable");
    }
    const std::string req = method + " " + path +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n"
                            "Connection: close\r\n\r\n";
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    std::string reply;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            reply.append(buf, static_cast<size_t>(n));
    ::close(fd);
    const auto body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

std::vector<std::string> PortalStandIn::requests() const {
    std::vector<std::string> lines;
    const std::string text = get("GET", "/__requests");
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

void PortalStandIn::reset() const {
    get("POST", "/__reset");
}

} // namespace corvana::tools
