// SPDX-License-Identifier: MIT
#pragma once

// A USB port in the engine's own process: a device plugged into it shows up on
// the virtual MIDI service or on the simulated HID bus.

#include <memory>
#include <string>
#include <vector>

#include "common/midi_io/virtual/virtual_service.hpp"
#include "devices/in_process/hid_bus.hpp"
#include "devices/usb_port.hpp"

namespace zal::devices {

class in_process_port_t final : public usb_port_t {
public:
    // `usb_port`: the port path the host sees the device on ("1-2"); empty for a
    // host that cannot tell.
    in_process_port_t(midi::io::virtual_service_t& midi, hid_bus_t& hid, std::string usb_port = {})
        : midi_(midi), hid_(hid), usb_port_(std::move(usb_port)) {}
    ~in_process_port_t() override { detach(); }

    void attach_midi(const std::string& name, const std::vector<std::string>& ports, midi_receiver_t receive,
                     bool refuse_sends) override;
    void send_midi(std::size_t port, const std::vector<uint8_t>& bytes) override;
    void attach_hid(const usb_descriptor_t& identity, report_receiver_t receive, uint32_t refuse_open_ms) override;
    void send_report(std::vector<uint8_t> report, uint32_t delay_ms) override;
    void detach() override;

private:
    class endpoint_t;

    midi::io::virtual_service_t& midi_;
    hid_bus_t& hid_;
    std::string usb_port_;
    std::vector<int32_t> midi_ports_;
    std::string hid_path_;
    std::shared_ptr<endpoint_t> endpoint_;
};

}  // namespace zal::devices
