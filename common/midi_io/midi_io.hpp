// SPDX-License-Identifier: MIT
#pragma once

// An identifier-based view of the computer's MIDI ports: list and classify
// them, receive short messages and SysEx bodies from chosen inputs, send to
// outputs, and hear about ports that vanish. One client with one input and one
// output port serves the whole process.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/failure.hpp"

namespace zal::midi {

// One short message. Sending: 0x80 in data1 (or data2) marks the byte as absent.
// Receiving: absent data bytes are 0; real-time messages carry 0x80 in both.
struct message_t {
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    bool operator==(const message_t&) const = default;
};

namespace io {

class service_t;

// Identifiers of an input (a source) and of an output (a destination): the
// endpoint's 32-bit unique identifier, sign-extended. -1 names no port.
enum class in_t : uint64_t {};
enum class out_t : uint64_t {};
constexpr in_t no_in{~uint64_t(0)};
constexpr out_t no_out{~uint64_t(0)};

// The identifiers of an endpoint with that unique identifier.
constexpr in_t make_in(int32_t unique_id) { return in_t(uint64_t(int64_t(unique_id))); }
constexpr out_t make_out(int32_t unique_id) { return out_t(uint64_t(int64_t(unique_id))); }

// Chooses the MIDI service the layer runs on; call before `init`.
void set_service(service_t* service);

// Creates the client and its ports, or says why not (the system's words,
// for the log); done at once when they exist.
result_t<void> init(const char* name);
void deinit();

// Runs `hook` on the main thread after every change of the MIDI setup, for as
// long as the subscription lives: each user of the layer hears for itself.
using setup_subscription_t = std::shared_ptr<const std::function<void()>>;
setup_subscription_t subscribe_to_setup_changes(std::function<void()> hook);

std::size_t in_size();
std::size_t out_size();
// The port at an index; no_in or no_out beyond the count, or for a port gone
// since it was counted (0 is a port like any other on ALSA).
in_t in_get(std::size_t index);
out_t out_get(std::size_t index);

std::string get_name(in_t in);
// Where the endpoint's device is plugged in ("1-1.4"); empty when unknown.
std::string get_usb_port(in_t in);
std::string get_usb_port(out_t out);
// The endpoint's device model ("Ventaro Ruvo") and the port's own name within
// it ("MIDI DIN"; empty when the device names none), from which a user of the
// layer tells its devices' ports apart.
std::string get_model(in_t in);
std::string get_model(out_t out);
std::string get_port_name(in_t in);
std::string get_port_name(out_t out);

using on_message_t = std::function<void(message_t)>;
using on_sysex_t = std::function<void(const uint8_t* data, std::size_t length, bool incomplete)>;
using on_disconnect_t = std::function<void()>;

// Starts receiving from an input. `on_message` and `on_sysex` run on the MIDI
// service's receive thread; `on_disconnect` on the main thread when the input
// vanishes. An input attached already keeps its first callbacks. A failure's
// words are the layer's diagnostic line, for the log.
result_t<void> attach(in_t in, on_message_t on_message, on_sysex_t on_sysex, on_disconnect_t on_disconnect);
result_t<void> detach(in_t in);
// How many inputs are attached now; for diagnostics and tests.
std::size_t attached_inputs();

result_t<void> send(out_t out, message_t message);
result_t<void> send(out_t out, const message_t* messages, std::size_t count);
result_t<void> send(out_t out, const uint8_t* bytes, std::size_t length);

}  // namespace io
}  // namespace zal::midi
