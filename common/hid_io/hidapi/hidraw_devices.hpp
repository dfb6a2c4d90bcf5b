// SPDX-License-Identifier: MIT
#pragma once

// The hidraw devices as the kernel lists them in sysfs. hidapi's own listing
// (before 0.15) dereferences a null text when a device leaves while it is being
// listed, which bootloaders do at every update; read here, a device that left
// is skipped.

#include <string>
#include <vector>

#include "common/hid_io/hid_io.hpp"

namespace zal::hid_io {

// Every /dev/hidrawN under `sysfs` (the root of sysfs; another folder in
// tests), with the IDs of its HID device and, for a USB device, its
// manufacturer and product strings (invalid UTF-8 becomes U+FFFD) and port.
std::vector<device_info_t> hidraw_devices(const std::string& sysfs = "/sys");

}  // namespace zal::hid_io
