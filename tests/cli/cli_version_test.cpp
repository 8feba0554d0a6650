// pellquin --version: the version and the site this build was configured with, and an
// environment override marked beside the built-in value it hides.
#include "tests/cli/inprocess.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

namespace corvana {
namespace {

std::string version() {
    const test::Ran r = test::runPellquin({"--version"}, nullptr);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    return r.out;
}

TEST(CliVersionTest, ShowsTheSiteOfThisBuild) {
    test::ScopedEnv de("CORVANA_PORTAL_HOST_DE", "");
    test::ScopedEnv intl("CORVANA_PORTAL_HOST_INT", "");
    test::ScopedEnv host("CORVANA_CODE_SERVER", "");
    test::ScopedEnv port("CORVANA_CODE_SERVER_PORT", "");
    const std::string out = version();
    EXPECT_EQ(out.substr(out.find('\n') + 1),
              "  portal, German host         " EXPECTED_PORTAL_HOST_DE "\n"
              "  portal, international host  " EXPECTED_PORTAL_HOST_INT "\n"
              "  code server                 " EXPECTED_CODE_SERVER "\n"
              "  code server port            21\n");
}

TEST(CliVersionTest, MarksAnEnvironmentOverride) {
    test::ScopedEnv de("CORVANA_PORTAL_HOST_DE", "");
    test::ScopedEnv intl("CORVANA_PORTAL_HOST_INT", "127.0.0.1:8080");
    test::ScopedEnv host("CORVANA_CODE_SERVER", "127.0.0.1");
    test::ScopedEnv port("CORVANA_CODE_SERVER_PORT", "2121");
    const std::string out = version();
    EXPECT_NE(out.find("  portal, German host         " EXPECTED_PORTAL_HOST_DE "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  portal, international host  127.0.0.1:8080 "
                       "(CORVANA_PORTAL_HOST_INT; built in: " EXPECTED_PORTAL_HOST_INT ")\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  code server                 127.0.0.1 (CORVANA_CODE_SERVER; built "
                       "in: " EXPECTED_CODE_SERVER ")\n"),
              std::string::npos)
        << out;
    EXPECT_NE(
        out.find("  code server port            2121 (CORVANA_CODE_SERVER_PORT; built in: 21)\n"),
        std::string::npos)
        << out;
}

} // namespace
} // namespace corvana
