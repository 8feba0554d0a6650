// Test entry for logic tests: a QCoreApplication exists, so code that uses Qt's event loop
// (the serial port's notifications, timers) works as in the tool.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "tests/support/scratchdir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The run logs of the runs the tests make go here, never among the user's own.
    const corvana::test::TempDir state;
    const corvana::test::ScopedEnv stateHome("XDG_STATE_HOME", state.path());
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
