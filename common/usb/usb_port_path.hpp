// SPDX-License-Identifier: MIT
#pragma once

// Where a USB device is plugged in, as Linux names it: the bus and the chain of
// hub ports, e.g. "1-1.4", the name of the USB device's sysfs folder. A device
// that re-enumerates (a firmware restarting into its bootloader) comes back on
// the same port path, so it follows one device across its reboots.

#include <string>

namespace zal::usb {

// The port path of the USB device that `sysfs_device` (a sysfs device folder,
// links resolved or not) belongs to: its nearest ancestor with a `devpath`
// file, i.e. a USB device rather than an interface. Empty when there is none
// (not a USB device) or when `sysfs_device` does not exist.
std::string port_path_of(const std::string& sysfs_device);

// That USB device's own folder, links resolved; empty as above.
std::string usb_device_folder_of(const std::string& sysfs_device);

// The port path of a sound card, by its number, read under `sysfs` (the root of
// sysfs; another folder in tests).
std::string port_path_of_sound_card(int card, const std::string& sysfs = "/sys");

}  // namespace zal::usb
