// SPDX-License-Identifier: MIT
#pragma once

// The simulated HID bus: a HID backend whose devices are simulated ones,
// plugged in and out by the simulation, in the same process as the engine.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/hid_io/hid_io.hpp"
#include "common/usb/usb_descriptor.hpp"

namespace zal::devices {

// What a simulated HID device does with the reports it is given.
class hid_endpoint_t {
public:
    virtual ~hid_endpoint_t() = default;
    // A report from the host (report number first); the count written, or -1.
    virtual int write(const uint8_t* data, std::size_t length) = 0;
    // The next answer into `data`: its length, 0 when none came in time, -1 on error.
    virtual int read(uint8_t* data, std::size_t length, int timeout_ms) = 0;
    // False while the device node refuses to open (EACCES), as before udev has
    // given the user access to it.
    virtual bool may_open() { return true; }
};

class hid_bus_t final : public hid_io::backend_t {
public:
    // Plugs a device in under a new path, which it returns, on `usb_port`
    // (empty: the host tells none); unplugging makes every open handle to it fail.
    std::string plug(const usb_descriptor_t& identity, const std::string& usb_port,
                     std::shared_ptr<hid_endpoint_t> endpoint);
    void unplug(const std::string& path);
    // Devices open now, for tests: every handle must be closed at the end of a run.
    std::size_t open_handles() const;

    result_t<void> init() override { return {}; }
    void exit() override {}
    std::vector<hid_io::device_info_t> enumerate() override;
    result_t<std::unique_ptr<hid_io::handle_t>> open(const std::string& path) override;

private:
    class handle_t;
    struct plugged_t {
        usb_descriptor_t identity;
        std::string usb_port;
        std::shared_ptr<hid_endpoint_t> endpoint;
    };
    // Still plugged in under the same device? A replug gets a new path.
    std::shared_ptr<hid_endpoint_t> live_endpoint(const std::string& path,
                                                  const std::shared_ptr<hid_endpoint_t>& endpoint) const;

    mutable std::mutex mutex_;
    std::map<std::string, plugged_t> devices_;  // by path
    unsigned next_ = 0;
    std::size_t open_handles_ = 0;
};

}  // namespace zal::devices
