// Test entry for logic tests: a QCoreApplication exists, so code that uses Qt's event loop
// (the serial port's notifications, timers) works as in the tool.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
