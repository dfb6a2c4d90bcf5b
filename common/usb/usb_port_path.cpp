// SPDX-License-Identifier: MIT
#include "common/usb/usb_port_path.hpp"

#include <filesystem>

namespace zal::usb {

namespace fs = std::filesystem;

std::string usb_device_folder_of(const std::string& sysfs_device) {
    std::error_code error;
    fs::path folder = fs::canonical(sysfs_device, error);
    if (error) return {};
    for (; !folder.empty() && folder != folder.root_path(); folder = folder.parent_path()) {
        // A root hub ("usb1") has a devpath of 0 and is no port.
        if (fs::exists(folder / "devpath", error) && folder.filename().string().rfind("usb", 0) != 0)
            return folder.string();
    }
    return {};
}

std::string port_path_of(const std::string& sysfs_device) {
    return fs::path(usb_device_folder_of(sysfs_device)).filename().string();
}

std::string port_path_of_sound_card(int card, const std::string& sysfs) {
    if (card < 0) return {};
    return port_path_of(sysfs + "/class/sound/card" + std::to_string(card) + "/device");
}

}  // namespace zal::usb
