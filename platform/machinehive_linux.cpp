#include "platform/machinehive.h"

namespace corvana::platform {

std::optional<RegValue> machineHiveRead(const std::string&, const std::string&) {
    return std::nullopt;
}

} // namespace corvana::platform
