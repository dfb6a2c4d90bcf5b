// SPDX-License-Identifier: MIT
#include "common/midi_io/alsa/alsa_mapping.hpp"

#include <algorithm>
#include <cerrno>

#include "common/midi_io/service.hpp"

namespace zal::midi::io::alsa {

namespace {

bool is_unnamed_jack(const std::string& jack) {
    const std::string midi = "MIDI ";
    if (jack.size() <= midi.size() || jack.compare(0, midi.size(), midi) != 0 || jack[midi.size()] == '0') return false;
    return std::all_of(jack.begin() + long(midi.size()), jack.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

port_names_t port_names(const std::string& client_name, const std::string& port_name) {
    port_names_t names{client_name, {}, port_name};
    if (port_name == client_name) return names;
    const std::string prefix = client_name + " ";
    if (port_name.compare(0, prefix.size(), prefix) != 0) {
        names.name = port_name;
        return names;
    }
    const std::string jack = port_name.substr(prefix.size());
    if (!is_unnamed_jack(jack)) names.name = jack;
    return names;
}

int directions_of(unsigned int capability) {
    int directions = 0;
    const unsigned readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    const unsigned writable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    if ((capability & readable) == readable) directions |= service_t::is_source;
    if ((capability & writable) == writable) directions |= service_t::is_destination;
    return directions;
}

bool is_hardware_client(int client, snd_seq_client_type_t type, int card, int own_receiver, int own_sender) {
    constexpr int midi_through = 14;
    return type == SND_SEQ_KERNEL_CLIENT && card >= 0 && client != SND_SEQ_CLIENT_SYSTEM && client != midi_through &&
           client != own_receiver && client != own_sender;
}

bool is_announcement(const snd_seq_event_t& event) {
    switch (event.type) {
        case SND_SEQ_EVENT_CLIENT_START:
        case SND_SEQ_EVENT_CLIENT_EXIT:
        case SND_SEQ_EVENT_CLIENT_CHANGE:
        case SND_SEQ_EVENT_PORT_START:
        case SND_SEQ_EVENT_PORT_EXIT:
        case SND_SEQ_EVENT_PORT_CHANGE: return true;
        default: return false;
    }
}

void forget_gone_subscriptions(const snd_seq_event_t& announcement, std::set<int32_t>& subscribed) {
    if (announcement.type == SND_SEQ_EVENT_PORT_EXIT) {
        subscribed.erase(unique_id(announcement.data.addr.client, announcement.data.addr.port));
    } else if (announcement.type == SND_SEQ_EVENT_CLIENT_EXIT) {
        const int client = announcement.data.addr.client;
        for (auto it = subscribed.begin(); it != subscribed.end();)
            it = client_of(*it) == client ? subscribed.erase(it) : std::next(it);
    }
}

void replace_client_ports(std::vector<int32_t>& kept, int client, const std::vector<int32_t>& now) {
    const auto first = std::lower_bound(kept.begin(), kept.end(), unique_id(client, 0));
    const auto last = std::lower_bound(first, kept.end(), unique_id(client + 1, 0));
    kept.insert(kept.erase(first, last), now.begin(), now.end());
}

int send_subscribed(int32_t id, std::set<int32_t>& subscribed, const std::function<int()>& subscribe,
                    const std::function<int()>& send) {
    for (int attempt = 0;; ++attempt) {
        if (!subscribed.count(id)) {
            const int status = subscribe();
            if (status < 0 && status != -EBUSY) return status;
            subscribed.insert(id);
        }
        const int status = send();
        if ((status != -ENODEV && status != -ENOENT) || attempt == 1) return status;
        subscribed.erase(id);
    }
}

void append_event_bytes(snd_midi_event_t* decoder, const snd_seq_event_t& event, std::vector<uint8_t>& out) {
    if (event.type == SND_SEQ_EVENT_SYSEX) {
        const auto* bytes = static_cast<const uint8_t*>(event.data.ext.ptr);
        if (bytes != nullptr) out.insert(out.end(), bytes, bytes + event.data.ext.len);
        return;
    }
    unsigned char buffer[16];
    const long n = snd_midi_event_decode(decoder, buffer, sizeof buffer, &event);
    if (n > 0) out.insert(out.end(), buffer, buffer + n);
}

}  // namespace zal::midi::io::alsa
