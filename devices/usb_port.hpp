// SPDX-License-Identifier: MIT
#pragma once

// Where a simulated device meets the host: the USB port it is plugged into. The
// device model speaks only through it, so that the same model runs on any
// transport: in process (the simulated HID bus and the virtual MIDI service),
// or on real USB gadget endpoints. Nothing here promises instant delivery.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/usb/usb_descriptor.hpp"

namespace zal::devices {

class usb_port_t {
public:
    virtual ~usb_port_t() = default;

    // Bytes the host sent to MIDI port `port` of the device.
    using midi_receiver_t = std::function<void(std::size_t port, const uint8_t* bytes, std::size_t length)>;
    // A report the host sent (report number first); the count taken, or -1.
    using report_receiver_t = std::function<int(const uint8_t* report, std::size_t length)>;

    // Enumerates as a USB-MIDI device `name` with these ports (in and out each).
    // `refuse_sends`: the host's sends to it fail.
    virtual void attach_midi(const std::string& name, const std::vector<std::string>& ports, midi_receiver_t receive,
                             bool refuse_sends) = 0;
    // Bytes from the device on one of its MIDI ports.
    virtual void send_midi(std::size_t port, const std::vector<uint8_t>& bytes) = 0;

    // Enumerates as a HID device with this identity; its node refuses to open
    // (EACCES) for `refuse_open_ms` after it appears.
    virtual void attach_hid(const usb_descriptor_t& identity, report_receiver_t receive, uint32_t refuse_open_ms) = 0;
    // An input report that reaches the host `delay_ms` from now.
    virtual void send_report(std::vector<uint8_t> report, uint32_t delay_ms) = 0;

    // Off the bus: whatever the device was, it is gone, and so is what it had
    // not yet delivered.
    virtual void detach() = 0;
};

}  // namespace zal::devices
