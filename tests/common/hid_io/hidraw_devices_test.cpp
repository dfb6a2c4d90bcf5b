// SPDX-License-Identifier: MIT
// The hidraw listing read from a sysfs tree laid out as Linux lays it out: a
// bootloader behind a hub, a USB device without strings, a HID device on
// another bus, and devices that left while they were being listed.
#include "common/hid_io/hidapi/hidraw_devices.hpp"
#include "common/text/utf8.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;
using zal::valid_utf8;
using zal::hid_io::device_info_t;
using zal::hid_io::hidraw_devices;

namespace {

class HidrawTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("hidraw-devices-" + std::to_string(::getpid()));
        fs::remove_all(root);
        usb = root / "devices/pci0000:00/0000:00:14.0/usb1";
        usb_device(usb, {});  // the root hub
        usb_device(usb / "1-1", {});
    }
    void TearDown() override { fs::remove_all(root); }

    // A USB device folder, with the string files given.
    static void usb_device(const fs::path& folder, const std::vector<std::pair<std::string, std::string>>& strings) {
        fs::create_directories(folder);
        std::ofstream(folder / "devpath") << "1\n";
        for (const auto& [name, text] : strings) std::ofstream(folder / name, std::ios::binary) << text << "\n";
    }
    // hidrawN of the HID device `hid` (made with `uevent`), listed in class/hidraw.
    void hidraw(const std::string& name, const fs::path& hid, const std::string& uevent) {
        fs::create_directories(hid / "hidraw" / name);
        std::ofstream(hid / "uevent") << uevent;
        fs::create_directory_symlink(hid, hid / "hidraw" / name / "device");
        fs::create_directories(root / "class/hidraw");
        fs::create_directory_symlink(hid / "hidraw" / name, root / "class/hidraw" / name);
    }

    fs::path root, usb;
};

TEST_F(HidrawTree, DevicesWithTheirIdsStringsAndPorts) {
    usb_device(usb / "1-1/1-1.4",
               {{"manufacturer", "Zalmir Instruments (zalmir.example)"}, {"product", "Ventaro Updater"}});
    hidraw("hidraw10", usb / "1-1/1-1.4/1-1.4:1.0/0003:16C0:05DF.0007",
           "DRIVER=hid-generic\nHID_ID=0003:000016C0:000005DF\nHID_NAME=Ventaro Updater\n");
    usb_device(usb / "1-2", {});  // no strings at all
    hidraw("hidraw2", usb / "1-2/1-2:1.0/0003:1234:0001.0002", "HID_ID=0003:00001234:00000001\n");
    const fs::path i2c = root / "devices/platform/i2c-1/0018:04F3:3140.0003";
    hidraw("hidraw3", i2c, "HID_ID=0018:000004F3:00003140\nHID_NAME=Touchpad\n");

    const std::vector<device_info_t> devices = hidraw_devices(root.string());
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].path, "/dev/hidraw2");  // in the order the kernel made them
    EXPECT_EQ(devices[0].vendor_id, 0x1234);
    EXPECT_EQ(devices[0].manufacturer, std::nullopt);
    EXPECT_EQ(devices[0].product, std::nullopt);
    EXPECT_EQ(devices[0].usb_port, "1-2");

    EXPECT_EQ(devices[1].path, "/dev/hidraw3");
    EXPECT_EQ(devices[1].vendor_id, 0x04F3);
    EXPECT_EQ(devices[1].product_id, 0x3140);
    EXPECT_EQ(devices[1].product, std::nullopt);  // not a USB device
    EXPECT_EQ(devices[1].usb_port, "");

    EXPECT_EQ(devices[2].path, "/dev/hidraw10");
    EXPECT_EQ(devices[2].vendor_id, 0x16C0);
    EXPECT_EQ(devices[2].product_id, 0x05DF);
    EXPECT_EQ(devices[2].manufacturer, "Zalmir Instruments (zalmir.example)");
    EXPECT_EQ(devices[2].product, "Ventaro Updater");
    EXPECT_EQ(devices[2].usb_port, "1-1.4");
}

TEST_F(HidrawTree, DevicesThatLeftOrMakeNoSenseAreSkipped) {
    usb_device(usb / "1-1/1-1.1", {{"product", "Ventaro Updater"}});
    hidraw("hidraw0", usb / "1-1/1-1.1/1-1.1:1.0/0003:16C0:05DF.0001", "HID_ID=0003:000016C0:000005DF\n");
    // Gone between the listing of class/hidraw and the reading of its folder.
    hidraw("hidraw1", usb / "1-1/1-1.2/1-1.2:1.0/0003:16C0:05DF.0002", "HID_ID=0003:000016C0:000005DF\n");
    fs::remove_all(usb / "1-1/1-1.2");
    // Its uevent gone, or never with an ID that fits.
    hidraw("hidraw4", usb / "1-1/1-1.3/1-1.3:1.0/0003:16C0:05DF.0004", "HID_ID=0003:000016C0:000005DF\n");
    fs::remove(usb / "1-1/1-1.3/1-1.3:1.0/0003:16C0:05DF.0004/uevent");
    hidraw("hidraw5", usb / "1-1/1-1.5/1-1.5:1.0/0003:16C0:05DF.0005", "HID_ID=0003:000116C0:000005DF\n");
    hidraw("hidraw6", usb / "1-1/1-1.6/1-1.6:1.0/0003:16C0:05DF.0006", "HID_ID=0003:16C0\n");
    fs::create_directories(root / "class/hidraw/other");

    const std::vector<device_info_t> devices = hidraw_devices(root.string());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, "/dev/hidraw0");
    EXPECT_EQ(devices[0].product, "Ventaro Updater");
    EXPECT_EQ(devices[0].manufacturer, std::nullopt);

    EXPECT_TRUE(hidraw_devices((root / "none").string()).empty());
}

TEST(ValidUtf8, KeepsUtf8AndReplacesTheRest) {
    const std::string replacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"Zalmir Instruments", "Zalmir Instruments"},
        {"Mus\xC3\xA9"
         "e \xE2\x82\xAC \xF0\x9F\x8E\xB9",
         "Mus\xC3\xA9"
         "e \xE2\x82\xAC \xF0\x9F\x8E\xB9"},
        {"\xC3", replacement},                    // cut short
        {"\xC0\xAF", replacement + replacement},  // overlong
        {"\xE0\x80\xAF", replacement + replacement + replacement},
        {"\xED\xA0\x80", replacement + replacement + replacement},                    // a surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // past U+10FFFF
        {"a\xFF"
         "b",
         "a" + replacement + "b"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(valid_utf8(bytes), expected) << bytes;
}

}  // namespace
