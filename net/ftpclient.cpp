#include "net/ftpclient.h"

#include "platform/sysio.h"
#include "util/errors.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace corvana::net {
namespace {

using net::kMaxListing;
using net::kMaxReplyText;
constexpr int kOwedReplyMs = 10000;

std::string trimControls(const std::string& s) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

int replyCode(const std::string& line) {
    if (line.size() < 3)
        return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = line[static_cast<size_t>(i)];
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

bool accepts(std::initializer_list<int> accepted, int code) {
    return std::find(accepted.begin(), accepted.end(), code) != accepted.end();
}

std::string portCommand(const platform::Endpoint& ep) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&ep.addr);
    const uint32_t a = ntohl(in->sin_addr.s_addr);
    const uint16_t p = ep.port();
    return "PORT " + std::to_string(a >> 24) + "," + std::to_string((a >> 16) & 0xFF) + "," +
           std::to_string((a >> 8) & 0xFF) + "," + std::to_string(a & 0xFF) + "," +
           std::to_string(p / 256) + "," + std::to_string(p % 256);
}

// Lines at CR LF, LF or CR; a final line break adds no empty line.
void splitLines(const std::string& text, StringList& dest) {
    dest.Clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        dest.Add(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        dest.Add(text.substr(start));
}

// The reason of a local file failure; the cases the shared table lacks are the ones a
// download into the temporary directory meets.
std::string fileReason(int err) {
    switch (err) {
    case ELOOP:
        return "Der Pfad ist eine symbolische Verknüpfung.";
    case EISDIR:
        return "Der Pfad ist ein Verzeichnis.";
    case ENOSPC:
        return "Auf dem Datenträger ist nicht genügend Speicherplatz verfügbar.";
    case EROFS:
        return "Der Datenträger ist schreibgeschützt.";
    default:
        return platform::errorText(err);
    }
}

[[noreturn]] void createError(const std::string& path, int err) {
    throw EInOutError("Datei \"" + path + "\" kann nicht erstellt werden. " + fileReason(err), err);
}

[[noreturn]] void writeError(const std::string& path, int err) {
    throw EInOutError("Fehler beim Schreiben der Datei \"" + path + "\". " + fileReason(err), err);
}

} // namespace

void FtpClient::SplitListing(const std::string& text, StringList& dest) {
    splitLines(text, dest);
}

FtpClient::FtpClient() = default;

FtpClient::~FtpClient() {
    dropControl();
}

void FtpClient::dropControl() noexcept {
    control_.close();
    reader_.reset();
}

void FtpClient::requireConnected() const {
    if (!control_.valid())
        net::throwSocketError(ENOTCONN);
}

void FtpClient::send(const std::string& line) {
    requireConnected();
    // A line break inside a parameter would smuggle in a command of its own.
    if (line.find_first_of("\r\n") != std::string::npos)
        throw EProtocolError("Ungültiges Zeichen im Befehl.");
    const std::string wire = line + "\r\n";
    if (const int err = platform::sendAll(control_, wire.data(), wire.size(), &cancel_)) {
        dropControl();
        net::throwSocketError(err);
    }
    if (observer_)
        observer_->FtpSent(line);
}

std::string FtpClient::nextLine() {
    requireConnected();
    std::string line;
    try {
        if (reader_.readLine(line) != net::Reader::Result::Ok)
            net::throwClosedGracefully();
    } catch (...) {
        // Closed, reset or out of step: the connection can carry nothing more.
        dropControl();
        throw;
    }
    line = trimControls(line);
    if (observer_ && !line.empty())
        observer_->FtpReceived(line);
    return line;
}

const FtpReply& FtpClient::readReply() {
    std::string line;
    do
        line = nextLine();
    while (line.empty());

    FtpReply reply;
    reply.Code = replyCode(line);
    size_t kept = 0;
    auto keep = [&](const std::string& l) {
        if (kept > kMaxReplyText)
            return;
        reply.Text.push_back(l.size() > 4 ? l.substr(4) : std::string());
        kept += l.size();
    };
    keep(line);
    if (line.size() >= 4 && line[3] == '-') {
        // The last line repeats the first one's three characters followed by a blank (which
        // trimming takes away when nothing follows it). Shorter lines are text: a blank line
        // inside a banner must not end the reply early.
        const std::string prefix = line.substr(0, 3);
        for (;;) {
            line = nextLine();
            keep(line);
            if (line == prefix ||
                (line.size() >= 4 && line.compare(0, 3, prefix) == 0 && line[3] == ' '))
                break;
        }
    }
    last_ = std::move(reply);
    return last_;
}

const FtpReply& FtpClient::check(std::initializer_list<int> accepted) {
    if (!accepts(accepted, last_.Code)) {
        std::string text;
        for (const auto& l : last_.Text)
            text += l + "\r\n";
        throw EReplyError(text, last_.Code);
    }
    return last_;
}

const FtpReply& FtpClient::command(const std::string& line, std::initializer_list<int> accepted) {
    send(line);
    readReply();
    return check(accepted);
}

void FtpClient::Connect() {
    if (control_.valid())
        throw EProtocolError("Verbindung besteht bereits.");
    // IPv4 only: the PORT command can announce nothing else.
    platform::Socket s;
    if (const int err = platform::connectTcp(Host, Port, true, &cancel_, s))
        net::throwSocketError(err);
    control_ = std::move(s);
    reader_.attach(&control_, &cancel_);
    try {
        readReply();
        check({220});
        if (command("USER " + Username, {230, 331}).Code == 331)
            command("PASS " + Password, {230});
        command("TYPE I", {200});
        command("SYST", {200, 215, 500});
    } catch (...) {
        dropControl();
        throw;
    }
}

void FtpClient::Disconnect() {
    dropControl();
}

void FtpClient::ChangeDirectory(const std::string& Path) {
    command("CWD " + Path, {200, 250});
}

void FtpClient::finishTransfer() {
    check({225, 226, 250, 426, 450});
    if (last_.Code == 426 || last_.Code == 450) {
        readReply();
        check({226, 225});
    }
}

// Waits for the server's data connection. Returns false when the server gave its final reply
// instead of connecting (a server that cannot reach us says so on the control connection,
// and one that has dropped it will never connect). `replied` tells whether the final reply
// has been read already.
bool FtpClient::awaitDataConnection(const platform::Socket& listener, platform::Socket& data,
                                    bool& replied) {
    replied = false;
    platform::Endpoint server;
    if (const int err = platform::peerEndpoint(control_, server))
        net::throwSocketError(err);
    // Anyone could race the server to our port; only the server may hand us data.
    const auto takePending = [&] {
        for (;;) {
            platform::Endpoint peer;
            const int err = platform::accept(listener, data, peer);
            if (err == EAGAIN)
                return false;
            if (err)
                net::throwSocketError(err);
            if (peer.sameHost(server))
                return true;
            data.close();
        }
    };
    for (;;) {
        int which = -1;
        // A reply already buffered is looked at only once no connection is pending.
        const int timeout = reader_.hasBuffered() ? 0 : -1;
        if (const int err =
                platform::waitReadable({listener.fd(), control_.fd()}, timeout, &cancel_, which))
            net::throwSocketError(err);
        if (which == 0) {
            if (takePending())
                return true;
            continue;
        }
        readReply();
        if (last_.Code >= 100 && last_.Code < 200)
            continue;
        finishTransfer();
        replied = true;
        // The server's connection may sit in the queue behind its final reply.
        return takePending();
    }
}

// A transfer that failed on our side or on the data connection still has its final reply
// coming on the control connection. Left unread, the next command would take it for its own
// answer, and every reply after would be one command late. A server that does not give it
// within a few seconds, or a control connection that fails meanwhile, is dropped instead.
void FtpClient::collectOwedReply() noexcept {
    // After a cancel the wait fails at once, and the connection goes.
    try {
        for (int replies = 0; replies < 2; ++replies) {
            int which = -1;
            if (!reader_.hasBuffered() &&
                (platform::waitReadable({control_.fd()}, kOwedReplyMs, &cancel_, which) != 0 ||
                 which != 0)) {
                dropControl();
                return;
            }
            readReply();
            // 426 and 450 may come before the closing 226.
            if (last_.Code != 426 && last_.Code != 450)
                return;
        }
    } catch (...) {
        dropControl();
    }
}

void FtpClient::transfer(const std::string& cmd, const Sink& sink) {
    requireConnected();
    try {
        platform::Endpoint local;
        if (const int err = platform::localEndpoint(control_, local))
            net::throwSocketError(err);
        if (local.family() != AF_INET)
            net::throwSocketError(EAFNOSUPPORT);
        platform::Socket listener;
        if (const int err = platform::listenTcp(local, 15, listener))
            net::throwSocketError(err);
        platform::Endpoint bound;
        if (const int err = platform::localEndpoint(listener, bound))
            net::throwSocketError(err);

        command(portCommand(bound), {200});
        command(cmd, {125, 150, 154});

        platform::Socket data;
        bool replied = false;
        const bool connected = awaitDataConnection(listener, data, replied);
        listener.close();
        // Even an accepted completion without a data connection delivered nothing: an empty
        // file taken for the code file would be loaded and programmed.
        if (!connected)
            throw EProtocolError("Der Server hat keine Datenverbindung aufgebaut.");

        char buf[65536];
        try {
            for (;;) {
                size_t got = 0;
                if (const int err = platform::receive(data, buf, sizeof buf, got, &cancel_))
                    net::throwSocketError(err);
                if (got == 0)
                    break;
                sink(buf, got);
            }
        } catch (...) {
            data.close();
            if (!replied)
                collectOwedReply();
            throw;
        }
        data.close();

        if (!replied) {
            readReply();
            finishTransfer();
        }
    } catch (const ESocketError& e) {
        // After a cancel nobody knows where the control connection stands.
        if (e.osError == ECANCELED)
            dropControl();
        throw;
    }
}

void FtpClient::List(StringList& Dest) {
    std::string text;
    transfer("LIST", [&](const char* p, size_t n) {
        if (text.size() + n > kMaxListing)
            throw EProtocolError("Die Verzeichnisliste ist zu groß.");
        net::reserveWithin(text, n, kMaxListing);
        text.append(p, n);
    });
    splitLines(text, Dest);
}

void FtpClient::Retrieve(const std::string& RemoteName, const std::string& LocalPath,
                         bool Overwrite) {
    struct stat st {};
    if (!Overwrite && platform::lstat(LocalPath.c_str(), &st) == 0)
        throw EInOutError("Die Zieldatei existiert bereits.", EEXIST);
    // Without a connection an existing file is not emptied for nothing.
    requireConnected();

    // O_NONBLOCK only so that a FIFO planted at the path cannot hang the open; O_EXCL so that
    // a file appearing since the check is not overwritten either.
    const int fd = platform::open(LocalPath.c_str(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC |
                                      O_NONBLOCK | (Overwrite ? 0 : O_EXCL),
                                  0600);
    if (fd < 0 && errno == EEXIST && !Overwrite)
        throw EInOutError("Die Zieldatei existiert bereits.", EEXIST);
    if (fd < 0)
        createError(LocalPath, errno);
    try {
        transfer("RETR " + RemoteName, [&](const char* p, size_t n) {
            if (!platform::writeAll(fd, p, n))
                writeError(LocalPath, errno);
        });
    } catch (...) {
        platform::close(fd);
        throw;
    }
    if (platform::close(fd) < 0)
        writeError(LocalPath, errno);
}

} // namespace corvana::net
