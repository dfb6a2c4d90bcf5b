#pragma once

// The registry behind the simulated hidapi: the same <hidapi.h> functions the
// engine calls, answered by simulated devices instead of the kernel.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zal::devices {

// What a simulated HID device does with the reports it is given.
class hid_endpoint_t {
public:
    virtual ~hid_endpoint_t() = default;
    // A report from the host (report number first); the count written, or -1.
    virtual int write(const uint8_t* data, std::size_t length) = 0;
    // The pending response into `data`: its length, 0 when none came in time, -1 on error.
    virtual int read(uint8_t* data, std::size_t length, int timeout_ms) = 0;
    // False while the device node refuses to open (EACCES), as before udev has
    // given the user access to it.
    virtual bool may_open() { return true; }
};

struct hid_identity_t {
    uint16_t vendor_id;
    uint16_t product_id;
    std::wstring manufacturer;  // empty: the device has no manufacturer string
    std::wstring product;
};

// Plugs a device in under a new path, which it returns; unplugging makes every
// open handle to it fail.
std::string hid_plug(const hid_identity_t& identity, std::shared_ptr<hid_endpoint_t> endpoint);
void hid_unplug(const std::string& path);

// Whether the hidapi functions serve the simulated devices (the default) or
// forward to the system's hidapi, loaded when first needed.
void hid_use_simulation(bool simulate);

// Devices open now, for tests: every handle must be closed at the end of a run.
std::size_t hid_open_handles();

}  // namespace zal::devices
