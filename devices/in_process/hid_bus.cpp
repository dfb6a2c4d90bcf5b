// SPDX-License-Identifier: MIT
#include "devices/in_process/hid_bus.hpp"

#include <cerrno>

namespace zal::devices {

class hid_bus_t::handle_t final : public hid_io::handle_t {
public:
    handle_t(hid_bus_t& bus, std::string path, std::shared_ptr<hid_endpoint_t> endpoint)
        : bus_(bus), path_(std::move(path)), endpoint_(std::move(endpoint)) {}
    ~handle_t() override {
        std::lock_guard lock(bus_.mutex_);
        --bus_.open_handles_;
    }
    result_t<std::size_t> write(const uint8_t* data, std::size_t length) override {
        const auto endpoint = bus_.live_endpoint(path_, endpoint_);
        return counted(endpoint ? endpoint->write(data, length) : -1);
    }
    result_t<std::size_t> read(uint8_t* data, std::size_t length, int timeout_ms) override {
        const auto endpoint = bus_.live_endpoint(path_, endpoint_);
        return counted(endpoint ? endpoint->read(data, length, timeout_ms) : -1);
    }

private:
    // The endpoint's -1, as hidraw says it.
    result_t<std::size_t> counted(int count) const {
        if (count >= 0) return std::size_t(count);
        if (!bus_.live_endpoint(path_, endpoint_)) return failure_t{ENODEV, "The device was unplugged."};
        return failure_t{EIO, "The device failed the transfer."};
    }

    hid_bus_t& bus_;
    std::string path_;
    std::shared_ptr<hid_endpoint_t> endpoint_;
};

std::string hid_bus_t::plug(const usb_descriptor_t& identity, const std::string& usb_port,
                            std::shared_ptr<hid_endpoint_t> endpoint) {
    std::lock_guard lock(mutex_);
    const std::string path = "/dev/hidraw-sim" + std::to_string(next_++);
    devices_[path] = {identity, usb_port, std::move(endpoint)};
    return path;
}

void hid_bus_t::unplug(const std::string& path) {
    std::lock_guard lock(mutex_);
    devices_.erase(path);
}

std::size_t hid_bus_t::open_handles() const {
    std::lock_guard lock(mutex_);
    return open_handles_;
}

std::shared_ptr<hid_endpoint_t> hid_bus_t::live_endpoint(const std::string& path,
                                                         const std::shared_ptr<hid_endpoint_t>& endpoint) const {
    std::lock_guard lock(mutex_);
    const auto it = devices_.find(path);
    return it != devices_.end() && it->second.endpoint == endpoint ? endpoint : nullptr;
}

std::vector<hid_io::device_info_t> hid_bus_t::enumerate() {
    std::lock_guard lock(mutex_);
    std::vector<hid_io::device_info_t> found;
    for (const auto& [path, device] : devices_) {
        const usb_descriptor_t& id = device.identity;
        auto text = [](const std::string& s) { return s.empty() ? std::nullopt : std::optional<std::string>(s); };
        found.push_back({path, id.vendor_id, id.product_id, text(id.manufacturer), text(id.product), device.usb_port});
    }
    return found;
}

result_t<std::unique_ptr<hid_io::handle_t>> hid_bus_t::open(const std::string& path) {
    std::shared_ptr<hid_endpoint_t> endpoint;
    {
        std::lock_guard lock(mutex_);
        const auto it = devices_.find(path);
        if (it == devices_.end()) return failure_t{ENOENT, "No such device."};
        endpoint = it->second.endpoint;
        ++open_handles_;
    }
    // Outside the bus's lock: the device takes its own lock, and unplugs under it.
    if (!endpoint->may_open()) {
        std::lock_guard lock(mutex_);
        --open_handles_;
        return failure_t{EACCES, "Permission denied."};
    }
    return std::unique_ptr<hid_io::handle_t>(std::make_unique<handle_t>(*this, path, std::move(endpoint)));
}

}  // namespace zal::devices
