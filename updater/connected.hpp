// SPDX-License-Identifier: MIT
#pragma once

// Our devices connected now, one entry per device (a Ruvo shows three MIDI
// ports), ordered by USB port: for listing them, for updating them all, and for
// telling a user which ports hold one.

#include <string>
#include <vector>

#include "updater/kind.hpp"

namespace zal::updater {

struct connected_device_t {
    enum class state_t { running, stage2, bootloader };
    kind_t kind = kind_t::any;  // any: a first-generation bootloader, which tells none
    state_t state = state_t::running;
    std::string usb_port;  // empty when the system does not tell
    std::string hid_path;  // a bootloader's device node
    bool operator==(const connected_device_t&) const = default;
};

// Needs the HID and MIDI layers set up.
std::vector<connected_device_t> connected_devices();

// "running", "stage-2" or "bootloader".
const char* state_word(connected_device_t::state_t state);

// Whether `text` has the form of a USB port path ("1-1.4"): a bus, a dash, and
// up to seven hub port numbers joined by dots. Anything else can name no device.
bool is_usb_port_path(const std::string& text);

}  // namespace zal::updater
