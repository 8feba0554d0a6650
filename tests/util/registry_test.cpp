#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry_store.h"
#include "platform/sysio.h"
#include "tests/support/scratchdir.h"
#include "util/errors.h"
#include "util/registry.h"

using namespace corvana;
namespace fs = std::filesystem;

namespace {

class Registry : public ::testing::Test {
protected:
    test::TempDir home;
    test::ScopedEnv env{"XDG_CONFIG_HOME", home.path()};
    std::string storeFile() const { return home.path() + "/corvana/hkcu.reg"; }

    std::string read(const std::string& key, const std::string& name,
                     int64_t root = HKEY_CURRENT_USER) {
        std::string out = "garbage";
        RegReadString(key, name, out, root);
        return out;
    }
    void writeStore(const std::string& text) {
        fs::create_directories(home.path() + "/corvana");
        std::ofstream(storeFile()) << text;
    }
    std::string slurp(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

} // namespace

TEST_F(Registry, WrittenValueReadsBackAndStoreIsOwnerOnly) {
    RegWriteString("corvana_halvern", "corvana_browser_userid", "k\"u\\nde &=#+ ",
                   HKEY_CURRENT_USER);
    EXPECT_EQ(read("corvana_halvern", "corvana_browser_userid"), "k\"u\\nde &=#+ ");
    EXPECT_EQ(read("CORVANA_HALVERN", "Corvana_Browser_UserId"), "k\"u\\nde &=#+ ");
    struct stat st {};
    ASSERT_EQ(::stat(storeFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Registry, ControlCharactersSurviveTheTextFormat) {
    const std::string odd = "line1\nline2\r\tend";
    RegWriteString("k", "v", odd, HKEY_CURRENT_USER);
    EXPECT_EQ(read("k", "v"), odd);
}

TEST_F(Registry, EmptyStringReadsLikeMissingValue) {
    RegWriteString("corvana_halvern", "corvana_browser_passcode", "", HKEY_CURRENT_USER);
    EXPECT_EQ(read("corvana_halvern", "corvana_browser_passcode"), "");
    EXPECT_EQ(read("corvana_halvern", "never_written"), "");
}

TEST_F(Registry, TypeRules) {
    writeStore("Windows Registry Editor Version 5.00\n\n"
               "[HKEY_CURRENT_USER\\corvana_halvern]\n"
               "\"dw\"=dword:0000002a\n"
               "\"exp\"=hex(2):25,50,41,54,48,25,00\n"
               "\"zero\"=hex(1):\n"
               "\"cut\"=hex(1):61,62,00,63,00\n"
               "\"bin\"=hex:01,02\n");
    EXPECT_EQ(read("corvana_halvern", "dw"), "");
    EXPECT_EQ(read("corvana_halvern", "exp"), "%PATH%"); // unexpanded
    EXPECT_EQ(read("corvana_halvern", "zero"), "");
    EXPECT_EQ(read("corvana_halvern", "cut"), "ab"); // up to the first zero
    EXPECT_EQ(read("corvana_halvern", "bin"), "");
}

TEST_F(Registry, ReadingUnderMissingKeyCreatesIt) {
    EXPECT_EQ(read("corvana_halvern", "corvana_browser_userid"), "");
    platform::RegistryStore store(storeFile());
    store.load();
    EXPECT_TRUE(store.hasKey("corvana_halvern"));
    EXPECT_FALSE(store.damaged());
}

TEST_F(Registry, MachineHiveIsNeverCreated) {
    EXPECT_EQ(read("SYSTEM\\CurrentControlSet\\Enum\\USB\\nothing", "PortName", HKEY_LOCAL_MACHINE),
              "");
    EXPECT_FALSE(fs::exists(storeFile()));
}

TEST_F(Registry, FailedWriteRaisesWithTheValueName) {
    // a configuration "directory" that is a plain file: the key cannot be opened
    test::TempDir other;
    const std::string blocker = other.write("not-a-dir", "x");
    test::ScopedEnv blocked("XDG_CONFIG_HOME", blocker);
    try {
        RegWriteString("corvana_halvern", "corvana_browser_sprache", "DE", HKEY_CURRENT_USER);
        FAIL() << "no error";
    } catch (const ERegistryError& e) {
        EXPECT_STREQ(e.what(), "Fehler beim Setzen der Daten für 'corvana_browser_sprache'");
    }
    EXPECT_THROW(RegWriteString("SOFTWARE\\x", "v", "d", HKEY_LOCAL_MACHINE), ERegistryError);
}

// The store's flush and rename go through the system-call seam: either failing keeps the old
// store whole, reports the failure and leaves no temporary file behind.
TEST_F(Registry, FailedFlushOrRenameKeepsTheOldStore) {
    RegWriteString("corvana_halvern", "corvana_browser_userid", "old", HKEY_CURRENT_USER);
    const std::string before = slurp(storeFile());
    for (const char* call : {"fsync", "rename"}) {
        SCOPED_TRACE(call);
        platform::setFaultHook([&](const char* c) { return std::strcmp(c, call) ? 0 : EIO; });
        EXPECT_THROW(
            RegWriteString("corvana_halvern", "corvana_browser_userid", "new", HKEY_CURRENT_USER),
            ERegistryError);
        platform::setFaultHook(nullptr);
        EXPECT_EQ(slurp(storeFile()), before);
        size_t files = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(home.path() + "/corvana"))
            ++files;
        EXPECT_EQ(files, 1u);
    }
}

TEST_F(Registry, DamagedStoreReadsEmptyAndIsKeptAsideOnNextWrite) {
    const std::string junk = "\x01\x02 this is not a hive [[[";
    writeStore(junk);
    EXPECT_EQ(read("corvana_halvern", "corvana_browser_userid"), "");
    RegWriteString("corvana_halvern", "corvana_browser_userid", "u1", HKEY_CURRENT_USER);
    EXPECT_EQ(read("corvana_halvern", "corvana_browser_userid"), "u1");
    int aside = 0;
    for (const auto& e : fs::directory_iterator(home.path() + "/corvana"))
        if (e.path().filename().string().rfind("hkcu.reg.damaged-", 0) == 0) {
            ++aside;
            EXPECT_EQ(slurp(e.path()), junk);
        }
    EXPECT_EQ(aside, 1);
}

TEST_F(Registry, KillDuringWriteLeavesOldOrNewStore) {
    const std::string a(3000, 'a'), b(3000, 'b');
    RegWriteString("corvana_halvern", "v", a, HKEY_CURRENT_USER);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                RegWriteString("corvana_halvern", "v", i % 2 ? a : b, HKEY_CURRENT_USER);
        }
        ::usleep(1000 + 1500 * round);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        platform::RegistryStore store(storeFile());
        store.load();
        ASSERT_FALSE(store.damaged()) << "round " << round;
        const std::string v = read("corvana_halvern", "v");
        ASSERT_TRUE(v == a || v == b) << "round " << round;
    }
}

TEST(RegistryText, SerializeParseRoundTrip) {
    using platform::RegistryStore;
    std::map<std::string, platform::RegKey, platform::NoCaseLess> keys;
    keys["a\\b"]["q\"uo\\te"] = {platform::kRegSz, {'x', '"', '\\', 0}};
    keys["a\\b"][""] = {platform::kRegSz, {0}};
    keys["a"]["d"] = {platform::kRegDword, {1, 0, 0, 0x80}};
    keys["a"]["m"] = {platform::kRegMultiSz, {'p', 0, 0}};
    // A type above 9 (a QWORD, 0xb) is written as the parser reads it, in hexadecimal.
    keys["a"]["q"] = {static_cast<platform::RegType>(0xb), {1, 2, 3, 4, 5, 6, 7, 8}};
    const auto back = RegistryStore::parse(RegistryStore::serialize(keys));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->at("a\\b").at("q\"uo\\te").data, keys["a\\b"]["q\"uo\\te"].data);
    EXPECT_EQ(back->at("a").at("d").type, platform::kRegDword);
    EXPECT_EQ(back->at("a").at("d").data, keys["a"]["d"].data);
    EXPECT_EQ(back->at("a").at("m").type, platform::kRegMultiSz);
    EXPECT_EQ(back->at("a").at("q").type, 0xbu);
    EXPECT_EQ(back->at("a").at("q").data, keys["a"]["q"].data);
    EXPECT_NE(RegistryStore::serialize(keys).find("\"q\"=hex(b):01,02"), std::string::npos);
    for (const char* bad :
         {"nonsense", "Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n",
          "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\k]\n\"v\"=dword:12\n"})
        EXPECT_FALSE(RegistryStore::parse(bad)) << bad;
}
