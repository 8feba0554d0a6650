// Test entry for logic tests in a build without Qt (the Windows cross build).
#include <gtest/gtest.h>

#include "tests/support/scratchdir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The run logs of the runs the tests make go here, never among the user's own.
    const corvana::test::TempDir state;
    const corvana::test::ScopedEnv stateHome("XDG_STATE_HOME", state.path());
    return RUN_ALL_TESTS();
}
