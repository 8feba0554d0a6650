#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

#include "device/bridgediscovery.h"
#include "device/remotelink.h"
#include "platform/usbtree.h"
#include "tests/support/scratchdir.h"
#include "tools/remotesim/fakeusbtree.h"
#include "util/errors.h"
#include "util/registry.h"

using namespace corvana;
using device::BridgeDiscovery;
using sim::FakeBridge;

namespace {

class Discovery : public ::testing::Test {
protected:
    test::TempDir dir;
    sim::FakeUsbTree tree{dir.path()};
    test::ScopedEnv usbRoot{"CORVANA_USB_DEVICES_ROOT", tree.usbDevicesRoot()};
    test::ScopedEnv devRoot{"CORVANA_DEV_ROOT", tree.devRoot()};
    StringList Memo1;
    BridgeDiscovery discovery{&Memo1};

    static FakeBridge bridge(const std::string& busPath, std::optional<std::string> serial,
                             int ttyIndex) {
        FakeBridge b;
        b.busPath = busPath;
        b.serial = std::move(serial);
        b.ttyIndex = ttyIndex;
        return b;
    }
};

TEST_F(Discovery, DevicePartAndKeyPath) {
    EXPECT_EQ(BridgeDiscovery::KeyPath(BridgeDiscovery::DevicePart(0x10C4, 0xEA60, "0001")),
              "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device "
              "Parameters");
    struct Row {
        int vid, pid;
        std::string serialText;
        std::string part;
    } rows[] = {
        {0x0403, 0x6001, "AB_12", "Vid_403&Pid_6001&Mi_00\\AB_12_00"},
        {0x10C4, 0xEA60, "", "Vid_10c4&Pid_ea60&Mi_00\\_00"},
        {0x10C4, 0xEA60, "0001\r\n\t ", "Vid_10c4&Pid_ea60&Mi_00\\0001_00"},
        {0x0001, 0x000F, "x", "Vid_1&Pid_f&Mi_00\\x_00"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(BridgeDiscovery::DevicePart(r.vid, r.pid, r.serialText), r.part);
}

TEST_F(Discovery, PortNumberFromThePortName) {
    EXPECT_EQ(BridgeDiscovery::PortNumber("COM12"), 12);
    EXPECT_EQ(BridgeDiscovery::PortNumber("COM3"), 3);
    for (const auto& [name, text] : {std::pair{"COMX", "'X' ist kein gültiger Integerwert"},
                                     std::pair{"COM", "'' ist kein gültiger Integerwert"},
                                     std::pair{"COM1a", "'1a' ist kein gültiger Integerwert"}}) {
        try {
            BridgeDiscovery::PortNumber(name);
            ADD_FAILURE() << name;
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
}

TEST_F(Discovery, OneBridgeWritesTheWholeLog) {
    tree.add(bridge("1-1", "0001", 0));
    EXPECT_EQ(discovery.FindBridgePort(), 1);
    const auto& l = Memo1.lines();
    ASSERT_EQ(l.size(), 14u);
    EXPECT_EQ(std::vector<std::string>(l.begin(), l.begin() + 5),
              (std::vector<std::string>{"0", "1", "255", "", "Open S:0"}));
    EXPECT_EQ(l[5].rfind("cyH:", 0), 0u);
    EXPECT_NE(l[5], "cyH:0");
    EXPECT_EQ(
        std::vector<std::string>(l.begin() + 6, l.end()),
        (std::vector<std::string>{"VID Status: 0", "VID : 4292", "PID Status: 0", "PID : 60000",
                                  "GDSN Status: 0", "SN : 0001", "Close S:0", "ComPort:1"}));
}

TEST_F(Discovery, NoBridgeLogsOnlyTheCountAndTheProductString) {
    EXPECT_EQ(discovery.FindBridgePort(), -1);
    EXPECT_EQ(Memo1.lines(), (std::vector<std::string>{"0", "0", "255", ""}));
}

TEST_F(Discovery, Cases) {
    FakeBridge ftdi = bridge("1-1", "AB 12", 2);
    ftdi.vendorId = 0x0403;
    ftdi.productId = 0x6015;
    FakeBridge noVid = bridge("1-1", "0001", 0);
    noVid.vendorId = std::nullopt;
    FakeBridge otherDriver = bridge("1-1", "0001", 0);
    otherDriver.vendorId = 0x0403;
    otherDriver.productId = 0x6001;
    otherDriver.driver = "ftdi_sio";
    struct Row {
        const char* name;
        std::vector<FakeBridge> bridges;
        int port;
        std::vector<std::string> logContains;
    } rows[] = {
        {"COM12", {bridge("1-1", "0001", 11)}, 12, {"ComPort:12"}},
        {"COM3", {bridge("1-1", "0001", 2)}, 3, {"ComPort:3"}},
        {"blanks in the serial number, vendor 0403 bound to cp210x",
         {ftdi},
         3,
         {"VID : 1027", "SN : AB 12", "ComPort:3"}},
        {"empty serial number", {bridge("1-1", "", 0)}, -1, {"SN : ", "ComPort:-1"}},
        {"serial number unreadable",
         {bridge("1-1", std::nullopt, 0)},
         -1,
         {"GDSN Status: 3", "SN : "}},
        {"vendor id unreadable", {noVid}, -1, {"VID Status: 3", "Close S:0", "ComPort:-1"}},
        {"only the first of two bridges counts",
         {bridge("1-2", "B", 0), bridge("1-1", "A", 4)},
         5,
         {"2", "0", "SN : A", "ComPort:5"}},
        {"bus order is numeric", {bridge("1-10", "B", 0), bridge("1-2", "A", 6)}, 7, {"SN : A"}},
        {"a serial port that is no CP210x", {otherDriver}, -1, {"0"}},
        {"a CP210x that no driver has bound is known by its ids",
         {bridge("1-1", "0001", 0)},
         1,
         {}},
    };
    rows[9].bridges[0].driver = "";
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        for (const auto& b : r.bridges)
            tree.add(b);
        Memo1.Clear();
        EXPECT_EQ(discovery.FindBridgePort(), r.port);
        for (const auto& line : r.logContains)
            EXPECT_NE(std::find(Memo1.lines().begin(), Memo1.lines().end(), line),
                      Memo1.lines().end())
                << line;
        for (const auto& b : r.bridges)
            tree.remove(b.busPath);
    }
}

TEST_F(Discovery, TwoBridgesShowTheSecondsProductString) {
    FakeBridge second = bridge("1-2", "B", 1);
    second.product = "Zweite Bruecke";
    tree.add(bridge("1-1", "A", 0));
    tree.add(second);
    discovery.FindBridgePort();
    ASSERT_GE(Memo1.Count(), 4);
    EXPECT_EQ(Memo1[2], "0");
    EXPECT_EQ(Memo1[3], "Zweite Bruecke");
}

TEST_F(Discovery, ADiscoveryAfterUnpluggingFindsNone) {
    tree.add(bridge("1-1", "0001", 0));
    EXPECT_EQ(discovery.FindBridgePort(), 1);
    tree.remove("1-1");
    Memo1.Clear();
    EXPECT_EQ(discovery.FindBridgePort(), -1);
    EXPECT_EQ(Memo1[1], "0");
}

// The two windows' links side by side, each built as its window builds it: the wizard's
// logs into its Memo1, the device info window's has no log and must not reach the wizard's.
TEST_F(Discovery, TheDeviceInfoWindowsCopyWritesNothing) {
    tree.add(bridge("1-1", "0001", 0));
    StringList Memo2;
    device::RemoteLink wizard{&Memo1, &Memo2};
    device::RemoteLink info;
    EXPECT_EQ(wizard.FindBridgePort(), 1);
    const std::vector<std::string> wizardLines = Memo1.lines();
    ASSERT_EQ(wizardLines.back(), "ComPort:1");
    Memo1.Add("the wizard's own line");
    EXPECT_EQ(info.FindBridgePort(), 1);
    EXPECT_EQ(BridgeDiscovery::converttostring(info.discovery.buffer.data(), 4), "0001")
        << "it went through the same steps";
    EXPECT_EQ(Memo1.Count(), static_cast<int>(wizardLines.size()) + 1);
    EXPECT_EQ(Memo1.lines().back(), "the wizard's own line");
    EXPECT_EQ(Memo2.Count(), 0);
}

TEST_F(Discovery, TheMachineHiveAnswersOnlyPortNameOfAttachedDevices) {
    tree.add(bridge("1-1", "AB_12", 3));
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\AB_12_00"
        "\\Device Parameters";
    const auto read = [](const std::string& k, const std::string& v) {
        std::string out = "garbage";
        RegReadString(k, v, out, HKEY_LOCAL_MACHINE);
        return out;
    };
    EXPECT_EQ(read(key, "PortName"), "COM4");
    EXPECT_EQ(read("system\\currentcontrolset\\enum\\usb\\VID_10C4&PID_EA60&MI_00\\ab_12_00"
                   "\\device parameters",
                   "portname"),
              "COM4");
    EXPECT_EQ(read(key, "FriendlyName"), "");
    EXPECT_EQ(read("SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea61&Mi_00\\AB_12_00"
                   "\\Device Parameters",
                   "PortName"),
              "");
    EXPECT_EQ(read("SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_01\\AB_12_00"
                   "\\Device Parameters",
                   "PortName"),
              "");
    tree.remove("1-1");
    EXPECT_EQ(read(key, "PortName"), "");
}

TEST_F(Discovery, LibraryHandlesLiveUntilClosed) {
    tree.add(bridge("1-1", "0001", 0));
    platform::CP210x_HANDLE h = 0;
    ASSERT_EQ(platform::CP210x_Open(0, &h), platform::CP210x_SUCCESS);
    EXPECT_EQ(platform::CP210x_Open(1, &h), platform::CP210x_DEVICE_NOT_FOUND);
    uint16_t vid = 0;
    EXPECT_EQ(platform::CP210x_GetDeviceVid(h, &vid), platform::CP210x_SUCCESS);
    EXPECT_EQ(vid, 0x10C4);
    EXPECT_EQ(platform::CP210x_Close(h), platform::CP210x_SUCCESS);
    EXPECT_EQ(platform::CP210x_Close(h), platform::CP210x_INVALID_HANDLE);
    EXPECT_EQ(platform::CP210x_GetDeviceVid(h, &vid), platform::CP210x_INVALID_HANDLE);
}

} // namespace
