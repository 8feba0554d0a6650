#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/scratchdir.h"
#include "util/version.h"

using corvana::GetFileVersionString;

namespace {
std::string bin(const std::string& name) {
    return std::string(CORVANA_BUILD_BIN) + "/" + name;
}
} // namespace

TEST(Version, TheToolItselfCarries2203) {
    if (::access(bin("pcorvanabrowser").c_str(), F_OK) != 0)
        GTEST_SKIP() << "the windows are not built here";
    EXPECT_EQ(GetFileVersionString(bin("pcorvanabrowser")), "2.2.0.3");
}

TEST(Version, NumbersAreNotZeroFilled) {
    EXPECT_EQ(GetFileVersionString(bin("version_fixture")), "10.0.0.12");
}

TEST(Version, FilesWithoutResourceGiveNixEingetragen) {
    corvana::test::TempDir dir;
    const std::string cases[] = {
        bin("test_version"),                         // an executable without the section
        dir.file("missing"),                         // no such file
        dir.write("text.exe", "MZ not an ELF file"), // not an executable
        dir.write("short", "\x7f"
                           "ELF"), // truncated header
        dir.path(),                // a directory
    };
    for (const auto& path : cases)
        EXPECT_EQ(GetFileVersionString(path), "Nix eingetragen") << path;
}
