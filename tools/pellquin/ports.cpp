// `ports`: the attached CP210x cables and the ports the cable lookup finds for them.
#include <cstdio>
#include <ostream>
#include <vector>

#include "device/bridgediscovery.h"
#include "platform/cp210x.h"
#include "platform/serial.h"
#include "tools/pellquin/args.h"
#include "tools/pellquin/command.h"
#include "tools/pellquin/commands.h"

namespace corvana::cli {
namespace {

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

} // namespace

int runPorts(Io& io, const Args& a) {
    if (!a.positional.empty())
        throw UsageError("ports takes no arguments");
    const std::vector<device::BridgeCable> cables = device::BridgeDiscovery::Cables();
    if (cables.empty()) {
        Command(io).error("no CP210x cable attached (" + platform::bridgeLookupNote() + ")");
        return kNoHardware;
    }
    for (size_t i = 0; i < cables.size(); ++i) {
        const device::BridgeCable& cable = cables[i];
        io.out << "cable " << i << (i == 0 ? "  (the one the port lookup uses)" : "") << '\n';
        if (cable.productRead)
            io.out << "  product     " << cable.product << '\n';
        if (!cable.opened) {
            io.out << "  cannot be opened\n";
            continue;
        }
        if (!cable.idsRead) {
            io.out << "  vendor or product id cannot be read\n";
            continue;
        }
        io.out << "  vendor id   " << hex4(cable.vendorId) << '\n';
        io.out << "  product id  " << hex4(cable.productId) << '\n';
        io.out << "  serial      " << (cable.serial.empty() ? "(none)" : cable.serial) << '\n';
        std::string portText;
        if (!cable.portError.empty())
            portText = "none: " + cable.portError;
        else if (cable.port >= 1)
            portText = comName(cable.port) + "  (" +
                       platform::comPortDevicePath(comName(cable.port)) + ")";
        else
            portText = "none: no PortName under that key";
        io.out << "  key path    " << cable.keyPath << '\n';
        io.out << "  port        " << portText << '\n';
    }
    io.out << std::flush;
    return kOk;
}

} // namespace corvana::cli
