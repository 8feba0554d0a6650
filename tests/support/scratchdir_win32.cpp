// TempDir and ScopedEnv with the Windows run-time library's calls.
#include "tests/support/scratchdir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace corvana::test {

TempDir::TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto p = base / ("corvana-test-" + std::to_string(rd() % 1000000000u));
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec)) {
            path_ = p.string();
            return;
        }
    }
    throw std::runtime_error("no temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    const std::string p = file(name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    ::_putenv_s(name, value.c_str());
}

ScopedEnv::~ScopedEnv() {
    // An empty value removes the variable.
    ::_putenv_s(name_.c_str(), had_ ? old_.c_str() : "");
}

} // namespace corvana::test
