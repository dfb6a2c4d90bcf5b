// SPDX-License-Identifier: MIT
// What a MIDI port is, by the names Linux gives it: our devices' ports, and
// the third-party devices users have beside them.
#include <gtest/gtest.h>

#include "common/midi_io/alsa/alsa_mapping.hpp"
#include "updater/midi.hpp"

using namespace zal::updater::midi;
using zal::midi::io::alsa::port_names;
using zal::midi::io::alsa::port_names_t;

namespace {

port_kind_t kind_of(const char* client, const char* port) {
    const port_names_t names = port_names(client, port);
    return port_kind(names.model, names.name);
}

}  // namespace

// Every way a kernel names the ports of our devices and of the third-party
// devices the table knows, and the kind each one must get.
TEST(PortKind, UsbMidiPortNamesGiveTheKinds) {
    struct case_t {
        const char* client;
        const char* port;
        port_kind_t kind;
    };
    const case_t cases[] = {
        // A Ruvo whose jacks carry strings, from Linux 5.13 on.
        {"Ventaro Ruvo", "Ventaro Ruvo Ventaro", port_kind_t::ruvo},
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI DIN", port_kind_t::ruvo_din},
        {"Ventaro Ruvo", "Ventaro Ruvo USB-MIDI Host", port_kind_t::ruvo_usb_host},
        // Jacks without strings, and every jack before 5.13: unnamed jacks.
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI 1", port_kind_t::ruvo},
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI 2", port_kind_t::ruvo},
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI 12", port_kind_t::ruvo},
        {"Ventaro Ruvo", "Ventaro Ruvo", port_kind_t::ruvo},  // a port named like its client
        // Jack strings that are no kind of the Ruvo's, however they are cut.
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI", port_kind_t::none},
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI 0", port_kind_t::none},
        {"Ventaro Ruvo", "Ventaro Ruvo MIDI 1a", port_kind_t::none},
        {"Ventaro Ruvo", "Ventaro Ruvo Port 1", port_kind_t::none},
        {"Ventaro Ruvo", "Ventaro RuvoX", port_kind_t::none},  // a jack string used alone
        {"Ventaro Ruvo", "MIDI DIN", port_kind_t::ruvo_din},   // not prefixed: the whole name
        // The Ventaro, the updaters and the third-party devices: the model decides.
        {"Ventaro", "Ventaro MIDI 1", port_kind_t::ventaro},
        {"Ventaro", "Ventaro Ventaro", port_kind_t::ventaro},
        {"Ventaro", "Ventaro", port_kind_t::ventaro},
        {"Ventaro Updater", "Ventaro Updater MIDI 1", port_kind_t::ventaro_updater},
        {"Ventaro Updater", "Ventaro Updater Ventaro Updater", port_kind_t::ventaro_updater},
        {"Ruvo Updater", "Ruvo Updater MIDI 1", port_kind_t::ruvo_updater},
        {"Ruvo Updater", "Ruvo Updater", port_kind_t::ruvo_updater},
        {"Panda-Audio midiBeam", "Panda-Audio midiBeam MIDI 1", port_kind_t::midibeam},
        {"BCR2000", "BCR2000 Port 1", port_kind_t::bcr2000},
        {"BCR2000", "BCR2000 MIDI 2", port_kind_t::bcr2000},
        // Case counts, and other clients are nothing of ours.
        {"ventaro", "ventaro MIDI 1", port_kind_t::none},
        {"Midi Through", "Midi Through Port-0", port_kind_t::none},
    };
    for (const case_t& c : cases) EXPECT_EQ(kind_of(c.client, c.port), c.kind) << c.client << " / " << c.port;
}

TEST(PortKind, Table) {
    EXPECT_EQ(port_kind("Ventaro", "anything"), port_kind_t::ventaro);
    EXPECT_EQ(port_kind("Ventaro Ruvo", ""), port_kind_t::ruvo);
    EXPECT_EQ(port_kind("Ventaro Ruvo", "Ventaro"), port_kind_t::ruvo);
    EXPECT_EQ(port_kind("Ventaro Ruvo", "USB-MIDI Host"), port_kind_t::ruvo_usb_host);
    EXPECT_EQ(port_kind("Ventaro Ruvo", "Something"), port_kind_t::none);
    EXPECT_EQ(port_kind("Panda-Audio midiBeam", ""), port_kind_t::midibeam);
    EXPECT_EQ(port_kind("", ""), port_kind_t::none);
}
