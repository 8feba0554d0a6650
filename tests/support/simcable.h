#pragma once
// A simulated remote on its cable: the simulator on a pty of its own, published as COM1 in a
// fake device tree of its own that the environment points at while this lives. A second one
// made while another lives is the remote plugged in again after one vanished.

#include <memory>
#include <string>

#include "tests/support/scratchdir.h"
#include "tools/remotesim/remotesim.h"

namespace corvana::test {

struct SimCable {
    explicit SimCable(const std::string& deviceType = "") {
        if (!deviceType.empty())
            sim.setDeviceType(deviceType);
        tree = &sim.publish(simDir.path());
        usbRoot = std::make_unique<ScopedEnv>("CORVANA_USB_DEVICES_ROOT", tree->usbDevicesRoot());
        devRoot = std::make_unique<ScopedEnv>("CORVANA_DEV_ROOT", tree->devRoot());
    }

    TempDir simDir;
    sim::RemoteSimulator sim;
    sim::FakeUsbTree* tree = nullptr;
    std::unique_ptr<ScopedEnv> usbRoot, devRoot;
};

// The remote plugged in again.
using ReturningRemote = SimCable;

} // namespace corvana::test
