// The Windows run-time library has neither mkdtemp nor setenv.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "tests/support/scratchdir_os.h"

namespace corvana::test::os {

std::string makeScratchDir() {
    const auto base = std::filesystem::temp_directory_path();
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto p = base / ("corvana-test-" + std::to_string(rd() % 1000000000u));
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec))
            return p.string();
    }
    throw std::runtime_error("no temporary directory");
}

void setEnv(const char* name, const std::string& value) {
    ::_putenv_s(name, value.c_str());
}

// An empty value removes the variable.
void unsetEnv(const char* name) {
    ::_putenv_s(name, "");
}

} // namespace corvana::test::os
