// The temporary directory on Windows: GetTempPathA's answer, and the code file inside it.
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "platform/sysio.h"
#include "tests/support/scratchdir.h"
#include "util/tempfileerrors.h"
#include "wizard/logic/hexloader.h"

using namespace corvana;

namespace {

std::string systemTempPath() {
    char buf[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, buf);
    return std::string(buf, n);
}

std::string backslashed(std::string p) {
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

TEST(WinTempDir, IsThePlatformsTemporaryPathWithItsBackslash) {
    const std::string dir = GetTempDirectory();
    EXPECT_EQ(dir, systemTempPath());
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_EQ(LocalCodeFilePath(), dir + "Printer.drv");
}

TEST(WinTempDir, FollowsTmpAndComesBackWhenRemoved) {
    test::TempDir base;
    const std::string tmp = backslashed(base.path()) + "\\user\\Temp";
    test::ScopedEnv env("TMP", tmp);
    EXPECT_EQ(GetTempDirectory(), tmp + "\\");
    EXPECT_TRUE(std::filesystem::is_directory(tmp)); // a cleaner took it away: made again
}

TEST(WinTempDir, CodeFileIsCreatedEmptiedAndNeverADirectory) {
    test::TempDir base;
    const std::string path = backslashed(base.path()) + "\\Printer.drv";
    std::ofstream(path, std::ios::binary) << "old content";
    int fd = platform::createFileNoFollow(path);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(platform::writeAll(fd, "ab\r\n\n", 5));
    ASSERT_EQ(platform::close(fd), 0);
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "ab\r\n\n"); // binary: no line ends added or taken

    errno = 0;
    EXPECT_EQ(platform::createFileNoFollow(backslashed(base.path())), -1);
    EXPECT_EQ(errno, EISDIR);
}

} // namespace
