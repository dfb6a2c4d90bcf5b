// SPDX-License-Identifier: MIT
#include "common/hid_io/hidapi/hidraw_devices.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/text/utf8.hpp"
#include "common/usb/usb_port_path.hpp"

namespace zal::hid_io {

namespace fs = std::filesystem;

namespace {

constexpr unsigned bus_usb = 0x03;

// A sysfs attribute without its final line break; nothing once the device is gone.
std::optional<std::string> attribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(4096, '\0');  // sysfs gives at most a page
    in.read(text.data(), std::streamsize(text.size()));
    if (in.bad()) return std::nullopt;
    text.resize(std::size_t(in.gcount()));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

struct hid_id_t {
    unsigned bus = 0;
    uint16_t vendor_id = 0, product_id = 0;
};

// "HID_ID=0003:000016C0:000005DF" among the HID device's uevent lines.
std::optional<hid_id_t> hid_id_of(const std::string& uevent) {
    std::size_t start = 0;
    while (start < uevent.size()) {
        std::size_t end = uevent.find('\n', start);
        if (end == std::string::npos) end = uevent.size();
        const std::string line = uevent.substr(start, end - start);
        start = end + 1;
        unsigned bus = 0, vendor = 0, product = 0;
        char tail = 0;
        if (line.rfind("HID_ID=", 0) == 0 &&
            std::sscanf(line.c_str() + 7, "%x:%x:%x%c", &bus, &vendor, &product, &tail) == 3 && vendor <= 0xFFFF &&
            product <= 0xFFFF)
            return hid_id_t{bus, uint16_t(vendor), uint16_t(product)};
    }
    return std::nullopt;
}

std::optional<std::string> usb_string(const fs::path& usb_device, const char* name) {
    const std::optional<std::string> text = attribute(usb_device / name);
    if (!text) return std::nullopt;
    return zal::valid_utf8(*text);
}

}  // namespace

std::vector<device_info_t> hidraw_devices(const std::string& sysfs) {
    std::vector<device_info_t> found;
    std::error_code error;
    std::vector<std::string> names;
    // Stepped with an error code: a folder read while devices come and go must not throw.
    for (fs::directory_iterator entry(fs::path(sysfs) / "class/hidraw", error), end; !error && entry != end;
         entry.increment(error))
        if (entry->path().filename().string().rfind("hidraw", 0) == 0) names.push_back(entry->path().filename());
    // hidraw2 before hidraw10: the order the kernel made them in.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const std::string& name : names) {
        const fs::path hid_device = fs::canonical(fs::path(sysfs) / "class/hidraw" / name / "device", error);
        if (error) continue;  // gone since it was listed
        const std::optional<std::string> uevent = attribute(hid_device / "uevent");
        const std::optional<hid_id_t> id = uevent ? hid_id_of(*uevent) : std::nullopt;
        if (!id) continue;
        device_info_t device{"/dev/" + name, id->vendor_id, id->product_id, std::nullopt, std::nullopt, {}};
        if (id->bus == bus_usb) {
            const fs::path usb_device = usb::usb_device_folder_of(hid_device);
            if (!usb_device.empty()) {
                device.manufacturer = usb_string(usb_device, "manufacturer");
                device.product = usb_string(usb_device, "product");
                device.usb_port = usb_device.filename();
            }
        }
        found.push_back(std::move(device));
    }
    return found;
}

}  // namespace zal::hid_io
