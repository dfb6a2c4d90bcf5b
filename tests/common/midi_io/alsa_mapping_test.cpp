// SPDX-License-Identifier: MIT
#include "common/midi_io/alsa/alsa_mapping.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "common/midi_io/midi_io.hpp"
#include "common/midi_io/service.hpp"

using namespace zal::midi::io;
using namespace zal::midi::io::alsa;

namespace {

std::vector<uint8_t> bytes_of(const snd_seq_event_t& event) {
    snd_midi_event_t* decoder = nullptr;
    EXPECT_EQ(snd_midi_event_new(64, &decoder), 0);
    snd_midi_event_no_status(decoder, 1);
    std::vector<uint8_t> out;
    append_event_bytes(decoder, event, out);
    snd_midi_event_free(decoder);
    return out;
}

snd_seq_event_t cleared() {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    return event;
}

}  // namespace

TEST(AlsaMapping, NamesAndDisplayNames) {
    const port_names_t n = port_names("Ventaro Ruvo", "Ventaro Ruvo MIDI DIN");
    EXPECT_EQ(n.model, "Ventaro Ruvo");
    EXPECT_EQ(n.name, "MIDI DIN");
    EXPECT_EQ(n.display_name, "Ventaro Ruvo MIDI DIN");
    EXPECT_EQ(port_names("Synth", "Other port").name, "Other port");
    EXPECT_EQ(port_names("Ventaro Ruvo", "Ventaro Ruvo MIDI 3").name, "");
    EXPECT_EQ(port_names("Ventaro Ruvo", "Ventaro Ruvo MIDI 3").display_name, "Ventaro Ruvo MIDI 3");
    EXPECT_EQ(unique_id(24, 1), 24 * 256 + 1);
    EXPECT_EQ(client_of(unique_id(130, 3)), 130);
    EXPECT_EQ(port_of(unique_id(130, 3)), 3);
}

TEST(AlsaMapping, EndpointsAndClients) {
    EXPECT_EQ(directions_of(SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ), service_t::is_source);
    EXPECT_EQ(directions_of(SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE), service_t::is_destination);
    EXPECT_EQ(directions_of(SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE |
                            SND_SEQ_PORT_CAP_SUBS_WRITE | SND_SEQ_PORT_CAP_DUPLEX),
              service_t::is_source | service_t::is_destination);
    EXPECT_EQ(directions_of(SND_SEQ_PORT_CAP_READ), 0);  // not subscribable: not an endpoint

    EXPECT_TRUE(is_hardware_client(24, SND_SEQ_KERNEL_CLIENT, 1, 128, 129));
    EXPECT_FALSE(is_hardware_client(0, SND_SEQ_KERNEL_CLIENT, -1, 128, 129));   // system
    EXPECT_FALSE(is_hardware_client(14, SND_SEQ_KERNEL_CLIENT, -1, 128, 129));  // Midi Through
    EXPECT_FALSE(is_hardware_client(130, SND_SEQ_USER_CLIENT, -1, 128, 129));   // another program
    EXPECT_FALSE(is_hardware_client(128, SND_SEQ_KERNEL_CLIENT, 0, 128, 129));  // ourselves
}

TEST(AlsaMapping, EventsBecomeMidiBytesAgain) {
    snd_seq_event_t note = cleared();
    snd_seq_ev_set_noteon(&note, 2, 0x3C, 0x64);
    EXPECT_EQ(bytes_of(note), (std::vector<uint8_t>{0x92, 0x3C, 0x64}));

    snd_seq_event_t program = cleared();
    snd_seq_ev_set_pgmchange(&program, 5, 7);
    EXPECT_EQ(bytes_of(program), (std::vector<uint8_t>{0xC5, 0x07}));

    snd_seq_event_t bend = cleared();
    snd_seq_ev_set_pitchbend(&bend, 0, 0);
    EXPECT_EQ(bytes_of(bend), (std::vector<uint8_t>{0xE0, 0x00, 0x40}));

    snd_seq_event_t clock = cleared();
    clock.type = SND_SEQ_EVENT_CLOCK;
    EXPECT_EQ(bytes_of(clock), (std::vector<uint8_t>{0xF8}));

    uint8_t chunk[] = {0xF0, 0x00, 0x31, 0x33, 0x01};
    snd_seq_event_t sysex = cleared();
    snd_seq_ev_set_sysex(&sysex, sizeof chunk, chunk);
    EXPECT_EQ(bytes_of(sysex), std::vector<uint8_t>(chunk, chunk + sizeof chunk));
}

TEST(AlsaMapping, AnnouncementsAreRecognised) {
    snd_seq_event_t event = cleared();
    for (auto type : {SND_SEQ_EVENT_CLIENT_START, SND_SEQ_EVENT_CLIENT_EXIT, SND_SEQ_EVENT_PORT_START,
                      SND_SEQ_EVENT_PORT_EXIT, SND_SEQ_EVENT_PORT_CHANGE}) {
        event.type = snd_seq_event_type_t(type);
        EXPECT_TRUE(is_announcement(event));
    }
    event.type = SND_SEQ_EVENT_NOTEON;
    EXPECT_FALSE(is_announcement(event));
}

// An announced client's endpoints as they are now replace the kept ones; the
// other clients' stay, and the list stays in the order of a walk.
TEST(AlsaMapping, AnnouncedClientsEndpointsReplaceTheKeptOnes) {
    struct row_t {
        std::vector<int32_t> kept;
        int client;
        std::vector<int32_t> now, expected;
    };
    const int32_t a0 = unique_id(20, 0), a1 = unique_id(20, 1), b0 = unique_id(24, 0), c0 = unique_id(28, 0),
                  c2 = unique_id(28, 2);
    const row_t rows[] = {
        {{}, 24, {b0}, {b0}},                    // the first endpoint
        {{a0, c0}, 24, {b0}, {a0, b0, c0}},      // a client between two others
        {{a0, a1, b0}, 20, {a1}, {a1, b0}},      // a port exited
        {{a0, b0, c0}, 24, {}, {a0, c0}},        // a client exited
        {{a0, c0}, 28, {c0, c2}, {a0, c0, c2}},  // a port started, last
        {{a0, b0}, 255, {}, {a0, b0}},           // a client without endpoints
    };
    for (const row_t& row : rows) {
        std::vector<int32_t> kept = row.kept;
        replace_client_ports(kept, row.client, row.now);
        EXPECT_EQ(kept, row.expected) << "client " << row.client;
    }
}

// A device that comes back under the same client and port numbers has lost the
// subscription the kernel needs before it delivers our events.
TEST(AlsaSubscriptions, AGoneSubscriptionIsMadeAgain) {
    std::set<int32_t> subscribed;
    const int32_t id = unique_id(20, 0);
    int subscribes = 0, sends = 0;
    auto subscribe = [&] { return ++subscribes, 0; };
    EXPECT_EQ(send_subscribed(id, subscribed, subscribe, [&] { return ++sends, 0; }), 0);
    EXPECT_EQ(send_subscribed(id, subscribed, subscribe, [&] { return ++sends, 0; }), 0);
    EXPECT_EQ(subscribes, 1);

    // The port went and came back: the first send fails, the second goes through.
    int attempt = 0;
    EXPECT_EQ(send_subscribed(id, subscribed, subscribe, [&] { return ++attempt == 1 ? -ENODEV : 0; }), 0);
    EXPECT_EQ(subscribes, 2);
    EXPECT_EQ(attempt, 2);
    // A port that stays gone fails after one retry; a refused subscription fails at once.
    EXPECT_EQ(send_subscribed(id, subscribed, subscribe, [] { return -ENOENT; }), -ENOENT);
    EXPECT_EQ(subscribes, 3);
    subscribed.clear();
    EXPECT_EQ(send_subscribed(
                  id, subscribed, [] { return -EPERM; }, [&] { return ++sends, 0; }),
              -EPERM);
    EXPECT_TRUE(subscribed.empty());

    // Announcements of a port or a client that exited forget what went with them.
    subscribed = {unique_id(20, 0), unique_id(20, 1), unique_id(24, 0)};
    snd_seq_event_t event{};
    event.type = SND_SEQ_EVENT_PORT_EXIT;
    event.data.addr = {20, 1};
    forget_gone_subscriptions(event, subscribed);
    EXPECT_EQ(subscribed, (std::set<int32_t>{unique_id(20, 0), unique_id(24, 0)}));
    event.type = SND_SEQ_EVENT_CLIENT_EXIT;
    event.data.addr = {20, 0};
    forget_gone_subscriptions(event, subscribed);
    EXPECT_EQ(subscribed, std::set<int32_t>{unique_id(24, 0)});
    event.type = SND_SEQ_EVENT_PORT_START;
    event.data.addr = {24, 0};
    forget_gone_subscriptions(event, subscribed);
    EXPECT_EQ(subscribed.size(), 1u);
}
