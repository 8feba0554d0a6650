#pragma once
// pellquin run in this process, with its standard output and error caught.

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "device/waitclock.h"
#include "tools/pellquin/cli.h"

namespace corvana::test {

struct Ran {
    int code = -1;
    std::string out, err;
};

// Not a terminal, 80 columns; `interrupted` stands for a termination signal.
inline Ran runPellquin(
    const std::vector<std::string>& args, device::Clock* clock,
    std::function<bool()> interrupted = [] { return false; }) {
    std::ostringstream out, err;
    cli::Io io{out, err, false, 80, clock, std::move(interrupted), {}};
    Ran r;
    r.code = cli::Run(args, io);
    r.out = out.str();
    r.err = err.str();
    return r;
}

} // namespace corvana::test
