#pragma once
// A simulated remote published as COM1 in a fake device tree that the environment points at.

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/scratchdir.h"
#include "tools/remotesim/remotesim.h"

namespace corvana::test {

class SimTest : public ::testing::Test {
protected:
    SimTest() {
        tree = &sim.publish(dir.path());
        usbRoot = std::make_unique<ScopedEnv>("CORVANA_USB_DEVICES_ROOT", tree->usbDevicesRoot());
        devRoot = std::make_unique<ScopedEnv>("CORVANA_DEV_ROOT", tree->devRoot());
    }

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

    TempDir dir;
    sim::RemoteSimulator sim;
    sim::FakeUsbTree* tree = nullptr;
    std::unique_ptr<ScopedEnv> usbRoot, devRoot;
};

// A remote plugged in again after one vanished: a new simulator on a pty of its own, in a
// device tree of its own that the environment points at while this lives.
struct ReturningRemote {
    explicit ReturningRemote(const std::string& deviceType) {
        sim.setDeviceType(deviceType);
        sim::FakeUsbTree& tree = sim.publish(dir.path());
        usbRoot = std::make_unique<ScopedEnv>("CORVANA_USB_DEVICES_ROOT", tree.usbDevicesRoot());
        devRoot = std::make_unique<ScopedEnv>("CORVANA_DEV_ROOT", tree.devRoot());
    }
    TempDir dir;
    sim::RemoteSimulator sim;
    std::unique_ptr<ScopedEnv> usbRoot, devRoot;
};

} // namespace corvana::test
