// SPDX-License-Identifier: MIT
#pragma once

// How ALSA sequencer clients, ports and events map onto the MIDI port layer.
// Pure functions: they need no sequencer.

#include <alsa/asoundlib.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace zal::midi::io::alsa {

constexpr int32_t unique_id(int client, int port) { return int32_t(client << 8 | (port & 0xFF)); }
constexpr int client_of(int32_t id) { return id >> 8; }
constexpr int port_of(int32_t id) { return id & 0xFF; }

struct port_names_t {
    std::string model;         // the client name: the card's short name
    std::string name;          // the jack's own name, empty for a jack that has none
    std::string display_name;  // the full port name
};

// snd-usb-audio names the port of a USB-MIDI jack after the card's short name C
// (the client's name) and the jack's string J:
//  - a jack without a string: "C MIDI n", n counting the jacks from 1;
//  - from Linux 5.13: "C J"; from 2025 (and the stable kernels that took the
//    change) J alone when J already begins with C;
//  - before 5.13 every jack is "C MIDI n", named or not.
// The name is what the device itself calls the jack: J, or empty for "C MIDI n"
// and for a port named exactly like its client. "C X" reads as the jack X: the
// same text could be a jack string "C X" used alone, which no jack of our
// devices is. Ports of other clients keep their whole name.
port_names_t port_names(const std::string& client_name, const std::string& port_name);

// The layer's directions (service_t::is_source, is_destination) of a port with
// these capabilities.
int directions_of(unsigned int capability);

// Only hardware ports count: kernel clients of a card, not the system client,
// "Midi Through" or our own clients.
bool is_hardware_client(int client, snd_seq_client_type_t type, int card, int own_receiver, int own_sender);

bool is_announcement(const snd_seq_event_t& event);

// A subscription dies with its port, and a re-enumerated device usually gets
// the same client and port numbers back: the subscriptions an announcement
// says are gone (a port or a whole client that exited) are forgotten.
void forget_gone_subscriptions(const snd_seq_event_t& announcement, std::set<int32_t>& subscribed);

// The ports of one client as they stand now (`now`, ascending) replace those
// `kept` (ascending, as a walk of the clients and their ports lists them).
void replace_client_ports(std::vector<int32_t>& kept, int client, const std::vector<int32_t>& now);

// Sends to `id` after subscribing to it when it is not known to be subscribed.
// A send that fails with -ENODEV or -ENOENT (the subscription went with a port
// that came back) subscribes again and sends once more.
int send_subscribed(int32_t id, std::set<int32_t>& subscribed, const std::function<int()>& subscribe,
                    const std::function<int()>& send);

// Appends the MIDI bytes of a received event: a SysEx chunk's raw bytes, other
// events turned back into bytes by `decoder` (running status off).
void append_event_bytes(snd_midi_event_t* decoder, const snd_seq_event_t& event, std::vector<uint8_t>& out);

}  // namespace zal::midi::io::alsa
