// `check` and `frames`: the code file as the loader reads it and as a run would send it.
#include <optional>
#include <ostream>

#include "tools/pellquin/args.h"
#include "tools/pellquin/command.h"
#include "tools/pellquin/commands.h"
#include "util/errors.h"
#include "util/hexconv.h"
#include "wizard/logic/programmingrun.h"

namespace corvana::cli {

int runCheck(Io& io, const Args& a) {
    if (a.positional.size() != 1)
        throw UsageError("check wants one FILE");
    const std::string& path = a.positional[0];
    Command cmd(io);
    LoadedFile file;
    if (!cmd.load(path, file))
        return kBadFile;
    const bool ok = cmd.programmable(path, file);
    io.out << "file          " << path << '\n';
    io.out << "records       " << file.result.records << '\n';
    io.out << "start address " << file.image.se_Address1 << '\n';
    io.out << "end address   " << file.image.se_address2 << '\n';
    io.out << "image sum     " << file.imageSum.value_or("none") << '\n';
    int blocks = 0;
    if (ok)
        blocks = RangeOf(file.image).blocks();
    io.out << "blocks        " << blocks << '\n' << std::flush;
    return ok ? kOk : kBadFile;
}

int runFrames(Io& io, const Args& a) {
    if (a.positional.size() != 1)
        throw UsageError("frames wants one FILE");
    std::optional<std::string> FB;
    if (const auto* t = a.get("--type"))
        FB = parseType(*t);
    std::optional<std::string> start;
    if (const auto* s = a.get("--start")) {
        int value = -1;
        try {
            value = HexToInt(*s);
        } catch (const EConvertError&) {
        }
        if (value < 0 || value > ImageGrid::LastAddress || value % 16 != 0)
            throw UsageError("--start wants a hexadecimal address from 0 to 7FF0, a multiple of "
                             "10, not '" +
                             *s + "'");
        start = xIntToHex(value, 4);
    }
    const std::string& path = a.positional[0];
    Command cmd(io);
    LoadedFile file;
    if (!cmd.load(path, file))
        return kBadFile;
    if (start)
        file.image.se_Address1 = *start;
    if (!cmd.programmable(path, file))
        return kBadFile;
    for (const auto& frame : PlannedFrames(file.image, FB ? &*FB : nullptr))
        io.out << hexPairs(frame) << '\n';
    io.out << std::flush;
    return kOk;
}

} // namespace corvana::cli
