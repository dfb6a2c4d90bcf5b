// SPDX-License-Identifier: MIT
#pragma once

// The devices' SysEx messages: finding a running device among the MIDI ports,
// the bootloader handshake, and the stage-2 firmware's reports and requests.

#include <array>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/midi_io/midi_io.hpp"
#include "updater/kind.hpp"
#include "updater/log.hpp"

namespace zal::updater::midi {

// What a MIDI port is, by its device's model and its own name: our devices'
// ports, and the third-party devices a user may have beside them.
enum class port_kind_t {
    none = 0,
    ventaro = 1,
    ruvo = 2,
    ruvo_din = 3,
    ruvo_usb_host = 4,
    ventaro_updater = 5,
    ruvo_updater = 6,
    midibeam = 7,
    bcr2000 = 8,
};
port_kind_t port_kind(const std::string& model, const std::string& name);
port_kind_t port_kind_of(zal::midi::io::in_t in);
port_kind_t port_kind_of(zal::midi::io::out_t out);
// The device whose firmware or stage-2 firmware shows the port; kind_t::any for
// a port of none of ours.
kind_t device_kind_of(port_kind_t port);
// Whether the port is a stage-2 firmware's.
bool is_stage2_port(port_kind_t port);

struct running_device_t {
    zal::midi::io::in_t in{0};
    zal::midi::io::out_t out{0};
    kind_t kind = kind_t::any;
    std::string usb_port;  // where it is plugged in; empty when unknown

    // Whether the engine can use it: a known kind and both ports.
    bool usable() const { return kind != kind_t::any && in != zal::midi::io::no_in && out != zal::midi::io::no_out; }
};

struct bootloader_magic_key_t {
    std::array<uint8_t, 4> k{};
    bool read(const uint8_t* body, std::size_t length);
};

// Every message is F0, the manufacturer's identifier, a content part and F7.
constexpr std::array<uint8_t, 3> manufacturer_id = {0x00, 0x31, 0x33};

// The whole message around a content part known when building.
template <std::size_t N>
constexpr std::array<uint8_t, N + 5> sysex_of(const std::array<uint8_t, N>& content) {
    std::array<uint8_t, N + 5> message{0xF0, manufacturer_id[0], manufacturer_id[1], manufacturer_id[2]};
    for (std::size_t i = 0; i < N; ++i) message[4 + i] = content[i];
    message[N + 4] = 0xF7;
    return message;
}

// Whether a received body (without F0 and F7) is one of ours.
inline bool from_our_manufacturer(const uint8_t* body, std::size_t length) {
    return length >= 3 && body[0] == manufacturer_id[0] && body[1] == manufacturer_id[1] &&
           body[2] == manufacturer_id[2];
}

constexpr auto bootloader_request = sysex_of(std::array<uint8_t, 1>{0x7F});
constexpr auto stage2_status_request = sysex_of(std::array<uint8_t, 3>{0x01, 0x7F, 0x00});
constexpr auto stage2_finish_request = sysex_of(std::array<uint8_t, 3>{0x01, 0x7F, 0x04});

// A whole message around a content part.
std::vector<uint8_t> sysex(const std::vector<uint8_t>& content);

// The device's answer to a bootloader request.
std::vector<uint8_t> bootloader_key_message(const bootloader_magic_key_t& key);

// The confirmation for a key: each byte's low seven bits inverted.
std::array<uint8_t, 10> bootloader_confirmation(const bootloader_magic_key_t& key);

// The first device of `kind` (any kind for kind_t::any) among the inputs, in
// the service's order, that `accept` takes (all when empty); logs the inputs on
// one line, unless they are those `told_inputs` holds (the list last logged,
// kept there).
running_device_t first_matching_device(kind_t kind, const std::function<bool(const running_device_t&)>& accept = {},
                                       const log_target_t& log = {}, std::optional<std::string>* told_inputs = nullptr);
// Whether the device was found on the ports of its stage-2 firmware.
bool runs_stage2_firmware(const running_device_t& device);
result_t<void> send_bootloader_request(zal::midi::io::out_t out);
result_t<void> send_bootloader_confirmation(zal::midi::io::out_t out, const bootloader_magic_key_t& key);

// Stage-2 content escaping: 8-bit values through 7-bit SysEx bytes.
std::vector<uint8_t> unescape(const uint8_t* content, std::size_t length);
std::vector<uint8_t> escape(const std::vector<uint8_t>& decoded);

struct stage2_report_t {
    enum class type_t { progress = 1, error = 2, complete = 3 };
    type_t type;
    float progress = 0;  // progress
    std::string text;    // error
};

// A stage-2 report from a received body, or nothing when the body does not fit.
std::optional<stage2_report_t> read_stage2_report(const uint8_t* body, std::size_t length);
// The whole message that carries a report, as the stage-2 firmware sends it
// (an error text cut to 64 bytes).
std::vector<uint8_t> stage2_report_message(const stage2_report_t& report);

}  // namespace zal::updater::midi
