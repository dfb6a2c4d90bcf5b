// SPDX-License-Identifier: MIT
// The udev rule read as udev reads it, against attributes recorded from our
// bootloaders and from foreign devices with the same ids: only ours are given
// to the user, and only our first-generation bootloader leaves the touchscreen
// driver.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "updater/hid.hpp"

namespace {

struct rule_t {
    std::vector<std::pair<std::string, std::string>> matches;  // key, "a|b" patterns
    std::vector<std::string> actions;
};

std::vector<rule_t> read_rules(const std::string& path) {
    std::vector<rule_t> rules;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        rule_t rule;
        std::size_t at = 0;
        while (at < line.size()) {
            const std::size_t op = line.find_first_of("=+", at);
            const std::string key = line.substr(at, op - at);
            const bool match = line.compare(op, 2, "==") == 0;
            const std::size_t open = line.find('"', op);
            const std::size_t close = line.find('"', open + 1);
            const std::string value = line.substr(open + 1, close - open - 1);
            if (match)
                rule.matches.push_back({key, value});
            else
                rule.actions.push_back(key + line.substr(op, open - op) + value);
            at = line.find_first_not_of(", ", close + 1);
            if (at == std::string::npos) break;
            // A RUN value holds quotes of its own: skip to the rule's next key.
            if (key == "RUN") break;
        }
        rules.push_back(rule);
    }
    return rules;
}

// A device event: its own keys, and ATTRS{} of it and its parents in one map.
using device_t = std::map<std::string, std::string>;

bool matches(const std::string& patterns, const std::string& value) {
    std::stringstream alternatives(patterns);
    for (std::string pattern; std::getline(alternatives, pattern, '|');)
        if (::fnmatch(pattern.c_str(), value.c_str(), 0) == 0) return true;
    return false;
}

std::vector<std::string> actions_for(const std::vector<rule_t>& rules, const device_t& device) {
    std::vector<std::string> actions;
    for (const rule_t& rule : rules) {
        bool all = true;
        for (const auto& [key, patterns] : rule.matches) {
            const auto it = device.find(key);
            all = all && it != device.end() && matches(patterns, it->second);
        }
        if (all) actions.insert(actions.end(), rule.actions.begin(), rule.actions.end());
    }
    return actions;
}

device_t hidraw(const std::string& vid, const std::string& pid, const std::string& manufacturer,
                const std::string& product) {
    return {{"KERNEL", "hidraw3"},      {"SUBSYSTEM", "hidraw"},   {"ACTION", "add"},
            {"ATTRS{idVendor}", vid},   {"ATTRS{idProduct}", pid}, {"ATTRS{manufacturer}", manufacturer},
            {"ATTRS{product}", product}};
}

device_t touchscreen_interface(const std::string& manufacturer, const std::string& product) {
    return {{"KERNEL", "1-1.4:1.0"},      {"SUBSYSTEM", "usb"},
            {"ACTION", "bind"},           {"ENV{DEVTYPE}", "usb_interface"},
            {"DRIVER", "usbtouchscreen"}, {"ATTRS{idVendor}", "1234"},
            {"ATTRS{idProduct}", "0001"}, {"ATTRS{manufacturer}", manufacturer},
            {"ATTRS{product}", product}};
}

const std::vector<std::string> uaccess = {"TAG+=uaccess"};

}  // namespace

TEST(UdevRule, OnlyOurBootloadersAreTheUsers) {
    const auto rules = read_rules(ZAL_UDEV_RULE);
    ASSERT_EQ(rules.size(), 3u);
    // Our bootloaders, with the strings the engine looks for.
    for (const zal::usb_descriptor_t* d :
         {&zal::usb_descriptor_bootloader_ventaro, &zal::usb_descriptor_bootloader_ruvo,
          &zal::usb_descriptor_bootloader_ruvo2, &zal::usb_descriptor_bootloader_ventaro_v1}) {
        char vid[8], pid[8];
        std::snprintf(vid, sizeof vid, "%04x", d->vendor_id);
        std::snprintf(pid, sizeof pid, "%04x", d->product_id);
        EXPECT_EQ(actions_for(rules, hidraw(vid, pid, d->manufacturer, d->product)), uaccess) << d->product;
    }
    // Foreign devices with the same ids.
    EXPECT_TRUE(actions_for(rules, hidraw("16c0", "05df", "obdev.at", "HIDKeys")).empty());
    EXPECT_TRUE(actions_for(rules, hidraw("16c0", "05df", "Zalmir Instruments (zalmir.example)", "Other")).empty());
    EXPECT_TRUE(actions_for(rules, hidraw("1234", "0001", "eGalax Inc.", "USB TouchController")).empty());
}

TEST(UdevRule, OnlyTheFirstGenerationBootloaderLeavesTheTouchscreenDriver) {
    const auto rules = read_rules(ZAL_UDEV_RULE);
    const auto ours = actions_for(rules, touchscreen_interface("Mikroelektronika", "USB HID Bootloader"));
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(ours[0].rfind("RUN+=/bin/sh -c 'echo -n %k > /sys/bus/usb/drivers/usbtouchscreen/unbind", 0), 0u);
    EXPECT_TRUE(actions_for(rules, touchscreen_interface("eGalax Inc.", "USB TouchController")).empty());
}
