#include "tools/pellquin/command.h"

#include <ostream>

#include "runrecord/runrecord.h"
#include "util/errors.h"
#include "wizard/logic/programmingrun.h"

namespace corvana::cli {

void Command::error(const std::string& text) {
    io_.err << "pellquin: " << text << '\n' << std::flush;
}

bool Command::load(const std::string& path, LoadedFile& file) {
    try {
        if (!LadenHexFile(file.image, file.log, path, {}, &file.result)) {
            error(path + ":" + std::to_string(file.result.errorLine) + ": " +
                  file.result.errorText);
            return false;
        }
    } catch (const EInOutError& e) {
        error(path + ": " + e.what());
        return false;
    } catch (const Exception& e) {
        error(path + ":" + std::to_string(file.result.errorLine) + ": " + e.what());
        return false;
    }
    // The sum is the line the loader writes after its "SE_adress1" line, unless the range
    // check refused to sum (then a record's "Status" line follows, or nothing).
    file.imageSum = LoggedImageSum(file.log);
    return true;
}

bool Command::programmable(const std::string& path, const LoadedFile& file) {
    bool ok = true;
    if (file.result.droppedBytes > 0) {
        error(path + ":" + std::to_string(file.result.firstDroppedLine) + ": " +
              std::to_string(file.result.droppedBytes) +
              " data bytes addressed above 7FFF, beyond the image; a run would not send them");
        ok = false;
    }
    try {
        const ProgramRange range = RangeOf(file.image);
        if (!range.valid()) {
            error(path + ": Start & End Address Error!!!! (end address " + file.image.se_address2 +
                  " is not above the start " + file.image.se_Address1 + ")");
            ok = false;
        }
    } catch (const EConvertError&) {
        error(path + ": no end record (type 01): the end address is unknown");
        ok = false;
    }
    return ok;
}

} // namespace corvana::cli
