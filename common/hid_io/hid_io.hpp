// SPDX-License-Identifier: MIT
#pragma once

// The HID layer the engine reaches devices through: a small backend interface,
// chosen at run time like the MIDI service. The system's hidapi (hidraw) serves
// real devices; a simulated bus serves the demo and the tests.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/failure.hpp"

namespace zal::hid_io {

struct device_info_t {
    std::string path;
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    // In UTF-8; nothing when the device has no such string.
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::string usb_port;  // where it is plugged in, e.g. "1-1.4"; empty when unknown
};

// One open device.
class handle_t {
public:
    virtual ~handle_t() = default;
    // A report, report number first; the count written.
    virtual result_t<std::size_t> write(const uint8_t* data, std::size_t length) = 0;
    // The next input report into `data`: its length, 0 when none came within
    // `timeout_ms` (0: do not wait).
    virtual result_t<std::size_t> read(uint8_t* data, std::size_t length, int timeout_ms) = 0;
};

class backend_t {
public:
    virtual ~backend_t() = default;
    // Done at once when the backend is set up already.
    virtual result_t<void> init() = 0;
    virtual void exit() = 0;
    virtual std::vector<device_info_t> enumerate() = 0;
    // The failure's code is EACCES or EPERM when access is denied.
    virtual result_t<std::unique_ptr<handle_t>> open(const std::string& path) = 0;
};

// The backend the engine uses from now on; nothing means the system's hidapi.
void set_backend(backend_t* backend);
backend_t& backend();

// The system's hidapi, on the hidraw backend.
backend_t& hidapi_backend();
// The hidapi library's version, for a support report.
const char* hidapi_version();

}  // namespace zal::hid_io
