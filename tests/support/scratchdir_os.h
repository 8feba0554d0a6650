#pragma once
// The system calls behind TempDir and ScopedEnv, one file per system.

#include <string>

namespace corvana::test::os {

// A new, empty directory of a unique name in the system's temporary folder; throws if none.
std::string makeScratchDir();
void setEnv(const char* name, const std::string& value);
void unsetEnv(const char* name);

} // namespace corvana::test::os
