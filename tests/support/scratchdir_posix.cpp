#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/scratchdir_os.h"

namespace corvana::test::os {

std::string makeScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "corvana-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

void setEnv(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

void unsetEnv(const char* name) {
    ::unsetenv(name);
}

} // namespace corvana::test::os
