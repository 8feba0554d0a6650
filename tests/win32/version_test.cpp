// GetFileVersionString on Windows version resources (windres), read by the system's calls.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "tests/support/scratchdir.h"
#include "util/version.h"

using namespace corvana;

namespace {

std::string ownPath() {
    char buf[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

std::string binPath(const std::string& name) {
    const std::string own = ownPath();
    return own.substr(0, own.find_last_of("\\/") + 1) + name;
}

// A string of the German string table, as the resource holds it.
std::string stringEntry(const std::string& path, const std::string& name) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::string buf(size, '\0');
    if (!size || !::GetFileVersionInfoA(path.c_str(), 0, size, buf.data()))
        return "<none>";
    void* p = nullptr;
    UINT len = 0;
    const std::string sub = "\\StringFileInfo\\040704E4\\" + name;
    if (!::VerQueryValueA(buf.data(), sub.c_str(), &p, &len))
        return "<none>";
    return len ? std::string(static_cast<const char*>(p)) : std::string();
}

TEST(WinVersion, TheProgramCarriesTheResourceOfTheTool) {
    EXPECT_EQ(GetFileVersionString(ownPath()), "2.2.0.3");
    EXPECT_EQ(stringEntry(ownPath(), "FileVersion"), "2.2.0.3");
    EXPECT_EQ(stringEntry(ownPath(), "ProductVersion"), "2.0.0.0");
    EXPECT_EQ(stringEntry(ownPath(), "CompanyName"), "");

    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(ownPath().c_str(), &ignored);
    std::string buf(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoA(ownPath().c_str(), 0, size, buf.data()));
    WORD* lang = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueA(buf.data(), "\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&lang), &len));
    ASSERT_GE(len, 4u);
    EXPECT_EQ(lang[0], 1031);
}

TEST(WinVersion, NumbersAreNeverZeroFilled) {
    EXPECT_EQ(GetFileVersionString(binPath("win_version_fixture.exe")), "10.0.0.12");
}

TEST(WinVersion, FilesWithoutAResourceSayNothingIsEntered) {
    test::TempDir dir;
    for (const std::string& path : {dir.write("plain.exe", "MZ not really a program"),
                                    dir.file("absent.exe"), binPath("CP210xManufacturing.dll")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(GetFileVersionString(path), "Nix eingetragen");
    }
}

} // namespace
