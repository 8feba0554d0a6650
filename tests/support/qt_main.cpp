// Test entry for window tests: an offscreen QApplication before the first test runs.
#include <QApplication>
#include <gtest/gtest.h>

#include "tests/support/scratchdir.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The run logs of the runs the tests make go here, never among the user's own.
    const corvana::test::TempDir state;
    const corvana::test::ScopedEnv stateHome("XDG_STATE_HOME", state.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
