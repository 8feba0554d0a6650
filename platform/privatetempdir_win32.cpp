// The temporary directory on Windows: GetTempPathA's answer. It is the user's own profile
// folder (%TMP%, %TEMP%, else %USERPROFILE%), which other users cannot enter, so no private
// directory is made inside it.
#include "platform/privatetempdir.h"

#include <windows.h>

#include <cerrno>

#include "platform/sysio.h"

namespace corvana::platform {
namespace {

// MAX_PATH (260) characters, as the tool has always asked for it.
std::string tempPath() {
    char buf[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, buf);
    if (n == 0 || n >= MAX_PATH) {
        errno = n == 0 ? EIO : ENAMETOOLONG;
        return {};
    }
    return std::string(buf, n);
}

std::string withoutSeparator(std::string dir) {
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/'))
        dir.pop_back();
    return dir;
}

} // namespace

std::string tempBase() {
    return withoutSeparator(tempPath());
}

std::string privateTempDirectory() {
    const std::string dir = tempBase();
    if (dir.empty() || !makeDirs(dir, 0700))
        return {};
    return dir;
}

std::string userTempDirectory() {
    std::string dir = tempPath();
    if (dir.empty())
        return dir;
    // The folder may have been cleaned away; the download must not fail for that.
    if (!makeDirs(withoutSeparator(dir), 0700))
        return {};
    return dir;
}

int createFileNoFollow(const std::string& path) {
    // O_NOFOLLOW makes a reparse point under the name fail; a directory fails with EISDIR.
    return platform::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          0600);
}

} // namespace corvana::platform
