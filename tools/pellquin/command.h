#pragma once
// What the commands share beyond their options: the error line, the code file loaded and
// checked as a run would take it, the span in which a signal is left to the command.

#include <optional>
#include <string>

#include "tools/pellquin/cli.h"
#include "util/stringlist.h"
#include "wizard/logic/hexloader.h"

namespace corvana::cli {

struct LoadedFile {
    MemoryImage image;
    StringList log;
    HexLoadResult result;
    std::optional<std::string> imageSum; // the last sum the loader logged
};

// A span in which a termination signal is left to the command (see Io::stopsGently).
class GentleStop {
public:
    explicit GentleStop(Io& io) : io_(io) {
        if (io_.stopsGently)
            io_.stopsGently(true);
    }
    ~GentleStop() {
        if (io_.stopsGently)
            io_.stopsGently(false);
    }
    GentleStop(const GentleStop&) = delete;
    GentleStop& operator=(const GentleStop&) = delete;

private:
    Io& io_;
};

class Command {
public:
    explicit Command(Io& io) : io_(io) {}

    void error(const std::string& text);

    // Loads `path` into `file`; false (the error told) when the loader stopped.
    bool load(const std::string& path, LoadedFile& file);

    // Whether a run could program the loaded file as it stands; tells why not.
    bool programmable(const std::string& path, const LoadedFile& file);

protected:
    Io& io_;
};

} // namespace corvana::cli
