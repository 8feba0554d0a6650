#pragma once
// A scratch directory removed with everything in it when the test ends.

#include <string>

namespace corvana::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `content` to `name` inside the directory; returns the full path.
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

// Sets an environment variable for one scope and restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_;
};

} // namespace corvana::test
