// SPDX-License-Identifier: MIT
#pragma once

// A USB-MIDI 1.0 device played through the kernel's gadgetfs: the program
// writes the whole configuration (Audio Control and MIDI Streaming interfaces,
// embedded and external jacks with or without strings, two bulk endpoints),
// answers the host's string requests, so that the host names the jacks as it
// names a real device's, and carries USB-MIDI event packets on the endpoints.
// A device that does not listen leaves its OUT endpoint unread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zal::devices::gadgetfs {

// The descriptors of the one configuration and the device, as gadgetfs takes
// them (tag 0, full-speed configuration, device descriptor), and the strings
// they refer to (index 1 onwards; index 0 is the language list).
struct midi_descriptors_t {
    std::vector<uint8_t> setup;
    std::vector<std::string> strings;
};

// `jacks`: one name per port; an empty name gives the jack no string.
midi_descriptors_t midi_descriptors(uint16_t vendor_id, uint16_t product_id, const std::string& product,
                                    const std::vector<std::string>& jacks);

// USB-MIDI event packets (4 bytes each) of one message for `cable`.
std::vector<uint8_t> event_packets(uint8_t cable, const std::vector<uint8_t>& message);

// The MIDI bytes an event packet carries, in `out`; its cable number.
uint8_t packet_bytes(const uint8_t* packet, std::vector<uint8_t>& out);

// Mounts gadgetfs at /dev/gadget unless it is there; the controller's ep0 file.
// Call while no gadget is bound: gadgetfs takes the name of a free controller.
std::string mount_gadgetfs();

class midi_device_t {
public:
    // Bytes the host sent to jack `port`.
    using receive_t = std::function<void(std::size_t port, const uint8_t* bytes, std::size_t length)>;

    // Plugs in: gadgetfs binds the controller and the host enumerates the device.
    midi_device_t(const std::string& ep0_path, uint16_t vendor_id, uint16_t product_id, const std::string& product,
                  const std::vector<std::string>& jacks, receive_t receive, bool refuse_sends);
    // Unplugs: the controller is free again once this returns.
    ~midi_device_t();
    midi_device_t(const midi_device_t&) = delete;
    midi_device_t& operator=(const midi_device_t&) = delete;

    // Queues a message for the host, which reads it when it polls the IN endpoint.
    void send(std::size_t port, const std::vector<uint8_t>& message);

private:
    struct state_t;
    std::shared_ptr<state_t> state_;
};

}  // namespace zal::devices::gadgetfs
