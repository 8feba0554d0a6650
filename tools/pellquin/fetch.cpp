// `fetch`: a code file from the code server, as the wizard downloads it.
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>

#include "net/ftpsession.h"
#include "platform/sysio.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/command.h"
#include "tools/pellquin/commands.h"
#include "util/errors.h"
#include "util/settings.h"
#include "util/tempfileerrors.h"

namespace corvana::cli {
namespace {

namespace fs = std::filesystem;

bool cancelled(const std::exception& e) {
    const auto* s = dynamic_cast<const ESocketError*>(&e);
    return s && s->osError == ECANCELED;
}

// A new file of a name of its own in `dir`, with the usual mode of a new file (the user's
// umask applies); its path, or "" with errno set.
std::string createPartFile(const fs::path& dir) {
    std::random_device seed;
    std::mt19937 pick(seed());
    std::uniform_int_distribution<int> letter(0, 35);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, '0');
        for (auto& c : suffix) {
            const int v = letter(pick);
            c = static_cast<char>(v < 10 ? '0' + v : 'a' + v - 10);
        }
        const std::string path = (dir / (".pellquin-fetch-" + suffix)).string();
        const int fd = platform::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            platform::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

} // namespace

int runFetch(Io& io, const Args& a) {
    const bool list = a.has("--list");
    if (list ? !a.positional.empty() : a.positional.size() != 1)
        throw UsageError(list ? "fetch --list takes no NAME" : "fetch wants one NAME");
    Command cmd(io);
    std::string name, target;
    if (!list) {
        name = a.positional[0];
        if (const auto* o = a.get("--output"))
            target = *o;
        else
            target = fs::path(name).filename().string();
        if (target.empty() || target == "." || target == "..")
            throw UsageError("fetch cannot name a file after '" + name + "'; give -o FILE");
    }
    const bool toStdout = target == "-";

    net::TFtpSession session;
    session.UseCodeServer();
    const std::string server = session.Client.Host + ":" + std::to_string(session.Client.Port);
    std::string part;
    const auto removePart = [&] {
        std::error_code ignored;
        if (!part.empty())
            fs::remove(part, ignored);
        part.clear();
    };
    const GentleStop gentle(io);
    try {
        session.Client.Connect();
        if (!session.ChangeDirectory(settings::kCodeServerDirectory))
            cmd.error("Fehler(1): the code server refused to change into its directory; going on");
        if (list) {
            for (const auto& line : session.ListFiles().lines())
                io.out << line << '\n';
            io.out << std::flush;
            session.Client.Disconnect();
            return kOk;
        }
        // Into a file of our own beside the target, renamed when complete.
        const fs::path dir =
            toStdout ? fs::path(GetTempDirectory()) : fs::absolute(fs::path(target)).parent_path();
        part = createPartFile(dir);
        if (part.empty()) {
            cmd.error(dir.string() + ": " + InOutError(errno).what());
            return kBadFile;
        }
        if (!session.Download(name, part, true)) {
            const net::FtpReply& reply = session.Client.LastReply();
            std::string said;
            for (const auto& l : reply.Text)
                said += (said.empty() ? "" : " ") + l;
            // A refusal is told by its reply; anything else (no data connection, a broken
            // one) by its error, as the last reply then says the transfer went well.
            const bool refused = reply.Code >= 400;
            std::string why;
            if (refused)
                why = " (" + std::to_string(reply.Code) + " " + said + ")";
            else if (!session.LastError.empty())
                why = ": " + session.LastError;
            cmd.error("Datei nicht vorhanden / File not found: " + name + " on " + server + why);
            removePart();
            return kNetwork;
        }
        session.Client.Disconnect();
    } catch (const std::exception& e) {
        removePart();
        if (cancelled(e)) {
            cmd.error("interrupted");
            return kInterrupted;
        }
        cmd.error("code server " + server + ": " + e.what());
        return kNetwork;
    }

    std::error_code ec;
    const auto size = fs::file_size(part, ec);
    if (toStdout) {
        std::ifstream in(part, std::ios::binary);
        io.out << in.rdbuf() << std::flush;
        removePart();
        return kOk;
    }
    fs::rename(part, target, ec);
    if (ec) {
        cmd.error(target + ": " + ec.message());
        removePart();
        return kBadFile;
    }
    part.clear();
    io.out << name << ": " << size << " bytes into " << target << '\n' << std::flush;
    return kOk;
}

} // namespace corvana::cli
