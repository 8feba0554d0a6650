#include <gtest/gtest.h>

#include "platform/sysio.h"
#include "tests/support/scratchdir.h"
#include "util/tempfileerrors.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvana;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempDirectory : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ScopedEnv tmpdir{"TMPDIR", dir.path() + "/"};
    const std::string fixed = dir.path() + "/corvana-" + std::to_string(::geteuid());
};

} // namespace

TEST_F(TempDirectory, IsAPrivateDirectoryUnderTmpdirEndingInASeparator) {
    EXPECT_EQ(GetTempDirectory(), fixed + "/");
    EXPECT_TRUE(S_ISDIR(modeOf(fixed)));
    EXPECT_EQ(modeOf(fixed) & 0777, 0700u);
    EXPECT_EQ(GetTempDirectory(), fixed + "/");

    // A cleaner removed it: it comes back.
    ASSERT_EQ(::rmdir(fixed.c_str()), 0);
    EXPECT_EQ(GetTempDirectory(), fixed + "/");

    // Our own directory left open to others is closed again.
    ASSERT_EQ(::chmod(fixed.c_str(), 0777), 0);
    EXPECT_EQ(GetTempDirectory(), fixed + "/");
    EXPECT_EQ(modeOf(fixed) & 0777, 0700u);
}

TEST_F(TempDirectory, BaseIsCreatedWhenMissingAndTmpIsTheDefault) {
    const std::string deeper = dir.path() + "/a/b";
    test::ScopedEnv env("TMPDIR", deeper);
    EXPECT_EQ(GetTempDirectory(), deeper + "/corvana-" + std::to_string(::geteuid()) + "/");
    test::ScopedEnv none("TMPDIR", "");
    EXPECT_EQ(platform::tempBase(), "/tmp");
}

TEST_F(TempDirectory, ANameHeldBySomethingElseIsNotUsed) {
    // A link to a directory that is even ours, and a plain file: neither is trusted.
    const std::string elsewhere = dir.path() + "/elsewhere";
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), fixed.c_str()), 0);
    const std::string got = GetTempDirectory();
    EXPECT_EQ(got.rfind(fixed + "-", 0), 0u) << got;
    EXPECT_EQ(got.back(), '/');
    const std::string gotDir = got.substr(0, got.size() - 1);
    EXPECT_TRUE(S_ISDIR(modeOf(gotDir)));
    EXPECT_EQ(modeOf(gotDir) & 0777, 0700u);
    EXPECT_EQ(GetTempDirectory(), got); // kept for the process while it stays ours

    ::unlink(fixed.c_str());
    std::ofstream(fixed) << "x";
    const std::string second = GetTempDirectory();
    EXPECT_NE(second, fixed + "/");
    EXPECT_TRUE(S_ISDIR(modeOf(second.substr(0, second.size() - 1))));
    EXPECT_EQ(contents(fixed), "x");
}

TEST_F(TempDirectory, AnotherUsersDirectoryIsNotUsed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a directory to another user";
    ASSERT_EQ(::mkdir(fixed.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(fixed.c_str(), 0777), 0);
    ASSERT_EQ(::chown(fixed.c_str(), 54321, 54321), 0);
    const std::string got = GetTempDirectory();
    EXPECT_NE(got, fixed + "/");
    EXPECT_EQ(modeOf(fixed) & 0777, 0777u); // not ours to change
}

TEST_F(TempDirectory, NoDirectoryRaisesAFileError) {
    const std::string file = dir.write("plain", "x");
    test::ScopedEnv env("TMPDIR", file + "/sub");
    EXPECT_THROW(GetTempDirectory(), EInOutError);
}

TEST_F(TempDirectory, CreateFileNoFollowCreatesOrEmptiesOnlyRegularFiles) {
    const std::string path = GetTempDirectory() + "Printer.drv";
    int fd = platform::createFileNoFollow(path);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(platform::writeAll(fd, "old content", 11));
    platform::close(fd);
    EXPECT_EQ(modeOf(path) & 0777, 0600u);

    fd = platform::createFileNoFollow(path);
    ASSERT_GE(fd, 0);
    EXPECT_GE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 1);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ASSERT_TRUE(platform::writeAll(fd, "new", 3));
    platform::close(fd);
    EXPECT_EQ(contents(path), "new");
}

TEST_F(TempDirectory, CreateFileNoFollowRefusesLinksDirectoriesAndFifos) {
    const std::string victim = dir.write("victim", "precious");
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    const std::string dangling = dir.file("dangling");
    ASSERT_EQ(::symlink(dir.file("planted").c_str(), dangling.c_str()), 0);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::string path;
        int err;
    } cases[] = {{link, ELOOP}, {dangling, ELOOP}, {dir.path(), EISDIR}, {fifo, ENXIO}};
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(platform::createFileNoFollow(c.path), -1) << c.path;
        EXPECT_EQ(errno, c.err) << c.path;
    }
    EXPECT_EQ(contents(victim), "precious");
    EXPECT_FALSE(std::ifstream(dir.file("planted")).good());

    // A FIFO with a reader opens, but is still not a file to write the download into.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    errno = 0;
    EXPECT_EQ(platform::createFileNoFollow(fifo), -1);
    EXPECT_EQ(errno, EINVAL);
    ::close(reader);
}

TEST(InOutError, GermanTextsAndTheNumberForTheRest) {
    struct Row {
        int err;
        const char* text;
    } rows[] = {{ENOENT, "Datei nicht gefunden"},
                {ENOTDIR, "Datei nicht gefunden"},
                {EACCES, "Dateizugriff verweigert"},
                {EPERM, "Dateizugriff verweigert"},
                {EIO, "E/A-Fehler 5"},
                {EISDIR, "E/A-Fehler 21"}};
    for (const auto& r : rows) {
        const EInOutError e = InOutError(r.err);
        EXPECT_STREQ(e.what(), r.text);
        EXPECT_EQ(e.errorCode, r.err);
    }
}
