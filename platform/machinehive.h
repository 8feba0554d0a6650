#pragma once
// HKEY_LOCAL_MACHINE as the tool reads it on Linux: only the USB device tree's "PortName"
// values, answered from sysfs. Read-only; nothing is ever created.

#include <optional>
#include <string>

#include "platform/registry_store.h"

namespace corvana::platform {

std::optional<RegValue> machineHiveRead(const std::string& keyPath, const std::string& valueName);

} // namespace corvana::platform
