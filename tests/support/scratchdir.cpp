#include "tests/support/scratchdir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/scratchdir_os.h"

namespace corvana::test {

TempDir::TempDir() : path_(os::makeScratchDir()) {}

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
    os::setEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        os::setEnv(name_.c_str(), old_);
    else
        os::unsetEnv(name_.c_str());
}

} // namespace corvana::test
