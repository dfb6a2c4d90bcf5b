// SPDX-License-Identifier: MIT
#pragma once

// A USB port made of the kernel's USB gadget framework: the device model plays
// its part on real endpoints bound to a UDC (dummy_hcd in the test virtual
// machine), and the host side of the same kernel sees a real USB-MIDI or HID
// device. The firmwares are a USB-MIDI device written whole through gadgetfs
// (jacks named or not, as the device says; a device that refuses sends leaves
// its OUT endpoint unread), or, with several devices, an f_midi function; the
// bootloaders are a configfs gadget with an HID function, usb_f_hid or, beyond
// its four per machine, FunctionFS (hid_function.hpp). The two take turns on
// the UDC, as a device re-enumerates.
//
// Every call, and every receiver, runs on the main queue's thread: the reading
// threads only hand what they read to it, so that detaching can stop them.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devices/usb_port.hpp"

namespace zal::devices {

class usb_gadget_port_t final : public usb_port_t {
public:
    // How the firmwares are played: a whole device through gadgetfs (jacks named
    // as the device names them, sends refused), which serves one device per
    // machine and binds whichever controller is free; or an f_midi function of
    // the configfs gadget on `udc`, one per controller, with unnamed jacks.
    enum class midi_transport_t { gadgetfs, f_midi };
    // How the bootloaders are played: the kernel's usb_f_hid, four per machine,
    // or FunctionFS, as many as there are controllers.
    enum class hid_transport_t { usb_f_hid, functionfs };

    // `udc`: the controller the configfs gadget binds to, e.g. "dummy_udc.0".
    explicit usb_gadget_port_t(std::string udc, midi_transport_t midi = midi_transport_t::gadgetfs,
                               hid_transport_t hid = hid_transport_t::usb_f_hid,
                               std::string configfs = "/sys/kernel/config");
    ~usb_gadget_port_t() override;
    usb_gadget_port_t(const usb_gadget_port_t&) = delete;
    usb_gadget_port_t& operator=(const usb_gadget_port_t&) = delete;

    void attach_midi(const std::string& name, const std::vector<std::string>& ports, midi_receiver_t receive,
                     bool refuse_sends) override;
    void send_midi(std::size_t port, const std::vector<uint8_t>& bytes) override;
    void attach_hid(const usb_descriptor_t& identity, report_receiver_t receive, uint32_t refuse_open_ms) override;
    void send_report(std::vector<uint8_t> report, uint32_t delay_ms) override;
    void detach() override;

    // Whether the host has enumerated what is attached now (its sequencer
    // client, or its hidraw node), waiting up to `timeout_ms`.
    bool wait_until_enumerated(int timeout_ms) const;

    // MIDI bytes the host sent to each port of the device over its life, up to
    // the last port that received any.
    std::vector<uint64_t> midi_bytes_received() const;

private:
    struct connection_t;

    void set_identity(uint16_t vendor_id, uint16_t product_id, const std::string& manufacturer,
                      const std::string& product);
    void bind(const std::string& function);
    void attach_midi_function(connection_t& connection, const std::string& name, std::size_t ports,
                              midi_receiver_t on_bytes);

    std::string udc_;
    midi_transport_t midi_transport_;
    hid_transport_t hid_transport_;
    std::string gadgetfs_ep0_;  // the controller's file in gadgetfs
    std::string gadget_;        // the gadget's configfs folder
    std::string function_;      // the function linked into the configuration, "" for none
    std::string product_;
    std::unique_ptr<connection_t> connection_;
    std::shared_ptr<std::array<std::atomic<uint64_t>, 16>> received_ =
        std::make_shared<std::array<std::atomic<uint64_t>, 16>>();
};

}  // namespace zal::devices
