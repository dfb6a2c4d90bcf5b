// SPDX-License-Identifier: MIT
// Port paths read from a sysfs tree laid out as Linux lays out a hub with a
// USB-MIDI device and a bootloader behind it, and a sound card that is no USB
// device.
#include "common/usb/usb_port_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("usb-port-path-" + std::to_string(::getpid()));
        fs::remove_all(root);
        const fs::path hub = root / "devices/pci0000:00/0000:00:14.0/usb1";
        device(hub);                // the root hub
        device(hub / "1-1");        // a hub on port 1
        device(hub / "1-1/1-1.4");  // a device on the hub's port 4
        device(hub / "1-1/1-1.4/1-1.4:1.1/sound/card1", false);
        device(hub / "1-1/1-1.4/1-1.4:1.0/0003:16C0:05DF.0001/hidraw/hidraw3", false);
        device(hub / "2", false);
        link(root / "class/sound/card1", hub / "1-1/1-1.4/1-1.4:1.1/sound/card1", hub / "1-1/1-1.4/1-1.4:1.1");
        link(root / "class/hidraw/hidraw3", hub / "1-1/1-1.4/1-1.4:1.0/0003:16C0:05DF.0001/hidraw/hidraw3",
             hub / "1-1/1-1.4/1-1.4:1.0/0003:16C0:05DF.0001");
        const fs::path pci_card = root / "devices/pci0000:00/0000:00:1f.3/sound/card0";
        device(pci_card, false);
        link(root / "class/sound/card0", pci_card, root / "devices/pci0000:00/0000:00:1f.3");
    }
    void TearDown() override { fs::remove_all(root); }

    static void device(const fs::path& folder, bool usb_device = true) {
        fs::create_directories(folder);
        if (usb_device) std::ofstream(folder / "devpath") << "x\n";
    }
    // A class entry, linked to its device folder, whose "device" links to its parent device.
    static void link(const fs::path& entry, const fs::path& target, const fs::path& parent) {
        fs::create_directories(entry.parent_path());
        fs::create_directory_symlink(target, entry);
        fs::create_directory_symlink(parent, target / "device");
    }

    fs::path root;
};

}  // namespace

TEST_F(SysfsTree, DevicesBehindHubsAreNamedByTheirPortChain) {
    EXPECT_EQ(zal::usb::port_path_of((root / "class/hidraw/hidraw3/device").string()), "1-1.4");
    EXPECT_EQ(zal::usb::port_path_of_sound_card(1, root.string()), "1-1.4");
    EXPECT_EQ(zal::usb::port_path_of((root / "devices/pci0000:00/0000:00:14.0/usb1/1-1").string()), "1-1");
}

TEST_F(SysfsTree, WhatIsNoUsbDeviceHasNoPortPath) {
    EXPECT_EQ(zal::usb::port_path_of_sound_card(0, root.string()), "") << "a card on the PCI bus";
    EXPECT_EQ(zal::usb::port_path_of((root / "devices/pci0000:00/0000:00:14.0/usb1").string()), "") << "a root hub";
    EXPECT_EQ(zal::usb::port_path_of_sound_card(7, root.string()), "") << "no such card";
    EXPECT_EQ(zal::usb::port_path_of_sound_card(-1, root.string()), "") << "not a card's client";
    EXPECT_EQ(zal::usb::port_path_of((root / "class/hidraw/hidraw9/device").string()), "") << "no such node";
}
