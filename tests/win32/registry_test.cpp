// The registry routines on the Windows registry of the test's wine prefix.
#include "util/registry.h"

#include <cstdint>

// The routines' root numbers, taken before the Windows headers make the names macros.
namespace {
constexpr int64_t kCurrentUser = corvana::HKEY_CURRENT_USER;
constexpr int64_t kLocalMachine = corvana::HKEY_LOCAL_MACHINE;
} // namespace

#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "util/errors.h"

using namespace corvana;

namespace {

// A key of this test process's own, removed with everything below it afterwards.
class WinRegistry : public ::testing::Test {
protected:
    WinRegistry() : key("corvana_test_" + std::to_string(::GetCurrentProcessId())) {}
    ~WinRegistry() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + key).c_str());
    }

    // The raw value as the registry holds it.
    static bool raw(HKEY root, const std::string& path, const std::string& name, DWORD& type,
                    std::string& bytes) {
        HKEY k;
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        LONG r = ::RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size);
        bytes.assign(size, '\0');
        if (r == ERROR_SUCCESS)
            r = ::RegQueryValueExA(k, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(bytes.data()), &size);
        ::RegCloseKey(k);
        return r == ERROR_SUCCESS;
    }

    void setRaw(const std::string& name, DWORD type, const std::string& bytes) {
        HKEY k;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(k, name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(k);
    }

    static bool keyExists(HKEY root, const std::string& path) {
        HKEY k;
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(k);
        return true;
    }

    std::string read(const std::string& name) {
        std::string data = "stale";
        RegReadString(key, name, data, kCurrentUser);
        return data;
    }

    std::string key;
};

TEST_F(WinRegistry, WriteStoresARegSzWithOneTerminatingZero) {
    RegWriteString(key + "\\deeper\\level", "corvana_browser_userid", "kunde 42", kCurrentUser);
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(
        raw(HKEY_CURRENT_USER, key + "\\deeper\\level", "corvana_browser_userid", type, bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, std::string("kunde 42\0", 9));
    std::string back;
    RegReadString(key + "\\deeper\\level", "corvana_browser_userid", back, kCurrentUser);
    EXPECT_EQ(back, "kunde 42");
}

TEST_F(WinRegistry, WriteReplacesAnEarlierValueOfAnyType) {
    setRaw("v", REG_DWORD, std::string("\x01\0\0\0", 4));
    RegWriteString(key, "v", "neu", kCurrentUser);
    EXPECT_EQ(read("v"), "neu");
}

TEST_F(WinRegistry, ReadFollowsTheTypeRules) {
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
        const char* want;
    } cases[] = {
        {"sz", REG_SZ, std::string("Deutsch\0", 8), "Deutsch"},
        {"empty", REG_SZ, std::string("\0", 1), ""},
        {"zerosize", REG_SZ, "", ""},
        {"inner_zero", REG_SZ, std::string("DE\0xx\0", 6), "DE"},
        {"unterminated", REG_SZ, "EN", "EN"},
        {"expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), "%TEMP%\\x"},
        {"dword", REG_DWORD, std::string("\x2a\0\0\0", 4), ""},
        {"binary", REG_BINARY, "DE", ""},
        {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setRaw(c.name, c.type, c.bytes);
        EXPECT_EQ(read(c.name), c.want);
    }
    EXPECT_EQ(read("absent"), "");
}

TEST_F(WinRegistry, ReadingUnderAMissingCurrentUserKeyCreatesIt) {
    ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, key));
    EXPECT_EQ(read("corvana_browser_sprache"), "");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, key));
}

TEST_F(WinRegistry, LocalMachineIsReadWithoutCreatingAnything) {
    const std::string path = "SOFTWARE\\" + key + "\\Device Parameters";
    std::string data = "stale";
    RegReadString(path, "PortName", data, kLocalMachine);
    EXPECT_EQ(data, "");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\" + key));

    HKEY k;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(k, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM12"), 6);
    ::RegCloseKey(k);
    RegReadString(path, "PortName", data, kLocalMachine);
    EXPECT_EQ(data, "COM12");
}

TEST_F(WinRegistry, AWriteIntoAKeyThatCannotBeOpenedRaisesWithTheValueName) {
    // No predefined root key has this number, so no key opens under it.
    const int64_t noRoot = 0x80000010LL;
    try {
        RegWriteString(key, "corvana_browser_passcode", "geheim", noRoot);
        ADD_FAILURE() << "no error";
    } catch (const ERegistryError& e) {
        EXPECT_STREQ(e.what(), "Fehler beim Setzen der Daten für 'corvana_browser_passcode'");
    }
    std::string data = "stale";
    RegReadString(key, "corvana_browser_passcode", data, noRoot);
    EXPECT_EQ(data, "");
}

} // namespace
