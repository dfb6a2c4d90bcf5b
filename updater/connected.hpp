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
    kind_t kind = kind_t::any;  // a first-generation bootloader's: it may be either
    device_state_t state = device_state_t::running;
    std::string usb_port;  // empty when the system does not tell
    std::string hid_path;  // a bootloader's device node
    bool operator==(const connected_device_t&) const = default;
};

// Needs the HID and MIDI layers set up.
std::vector<connected_device_t> connected_devices();

// Whether `text` has the form of a USB port path ("1-1.4"): a bus, a dash, and
// up to seven hub port numbers joined by dots. Anything else can name no device.
bool is_usb_port_path(const std::string& text);

}  // namespace zal::updater
