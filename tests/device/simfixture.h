#pragma once
// A test with a simulated remote on its cable (see SimCable), and the waits its exchanges need.

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include "tests/support/simcable.h"

namespace corvana::test {

class SimTest : public ::testing::Test, protected SimCable {
protected:
    // Pumps the event loop until `done` holds or two seconds have passed.
    static bool pumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Waits, without pumping, until `done` holds or two seconds have passed.
    static bool waitUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

} // namespace corvana::test
