// SPDX-License-Identifier: MIT
// The USB-MIDI device the kernel tests play: its descriptors read as the
// kernel's USB-MIDI driver reads them, and its event packets.
#include "devices/gadget/gadgetfs_midi.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace zal::devices::gadgetfs;

namespace {

struct jack_t {
    uint8_t subtype;  // 2 IN, 3 OUT
    uint8_t type;     // 1 embedded, 2 external
    uint8_t i_jack;
};

// The jack names the host gives its output and input ports, as snd-usb-audio
// finds them: an endpoint's associated jacks, the IN jack's string for the
// host's output, the OUT jack's string for its input; "" for a jack without one.
struct host_view_t {
    std::vector<std::string> outputs, inputs;
    uint16_t total_length = 0;
    std::size_t walked = 0;
};

host_view_t read_as_host(const midi_descriptors_t& d) {
    host_view_t view;
    const std::vector<uint8_t>& s = d.setup;
    const std::size_t config = 4;
    view.total_length = uint16_t(s[config + 2] | s[config + 3] << 8);
    std::map<uint8_t, jack_t> jacks;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> endpoints;  // address, associated jack ids
    uint8_t last_address = 0;
    for (std::size_t at = config; at < config + view.total_length; at += s[at]) {
        EXPECT_GE(s[at], 2) << "a descriptor of length " << int(s[at]) << " at " << at;
        if (s[at] < 2) break;
        ++view.walked;
        const uint8_t type = s[at + 1], subtype = s[at + 2];
        if (type == 0x24 && (subtype == 2 || subtype == 3)) {
            const uint8_t i_jack = subtype == 2 ? s[at + 5] : s[at + 5 + 2 * s[at + 5] + 1];
            jacks[s[at + 4]] = {subtype, s[at + 3], i_jack};
        } else if (type == 5) {
            last_address = s[at + 2];
        } else if (type == 0x25) {
            endpoints.push_back(
                {last_address, std::vector<uint8_t>(s.begin() + long(at) + 4, s.begin() + long(at) + s[at])});
        }
    }
    auto text = [&](uint8_t index) { return index == 0 ? std::string() : d.strings.at(index - 1u); };
    for (const auto& [address, ids] : endpoints)
        for (uint8_t id : ids) {
            const jack_t& jack = jacks.at(id);
            EXPECT_EQ(jack.type, 1) << "an endpoint carries embedded jacks";
            if (address & 0x80) {
                EXPECT_EQ(jack.subtype, 3);
                view.inputs.push_back(text(jack.i_jack));
            } else {
                EXPECT_EQ(jack.subtype, 2);
                view.outputs.push_back(text(jack.i_jack));
            }
        }
    return view;
}

}  // namespace

TEST(GadgetfsMidi, TheHostFindsEveryJackUnderItsName) {
    for (const std::vector<std::string>& jacks : std::vector<std::vector<std::string>>{
             {"Ventaro", "MIDI DIN", "USB-MIDI Host"}, {"", "", ""}, {"MIDI 1"}, {"", "MIDI DIN"}}) {
        const midi_descriptors_t d = midi_descriptors(0x16C0, 0x05E4, "Ventaro Ruvo", jacks);
        const host_view_t view = read_as_host(d);
        EXPECT_EQ(view.outputs, jacks);
        EXPECT_EQ(view.inputs, jacks);
        // tag, configuration, device descriptor: nothing else, nothing cut.
        EXPECT_EQ(d.setup.size(), 4u + view.total_length + 18u);
        EXPECT_EQ(view.walked, 5 + 4 * jacks.size() + 4);
        const std::size_t device = 4 + view.total_length;
        EXPECT_EQ(d.setup[device + 1], 1);
        EXPECT_EQ(d.strings.at(d.setup[device + 15] - 1u), "Ventaro Ruvo");
    }
}

TEST(GadgetfsMidi, EventPacketsCarryMessagesWhole) {
    struct case_t {
        std::vector<uint8_t> message;
        std::vector<uint8_t> packets;
    };
    const case_t cases[] = {
        {{0xF0, 0xF7}, {0x16, 0xF0, 0xF7, 0}},
        {{0xF0, 1, 0xF7}, {0x17, 0xF0, 1, 0xF7}},
        {{0xF0, 1, 2, 0xF7}, {0x14, 0xF0, 1, 2, 0x15, 0xF7, 0, 0}},
        {{0xF0, 0, 0x31, 0x33, 0x7F, 1, 2, 3, 4, 0xF7},
         {0x14, 0xF0, 0, 0x31, 0x14, 0x33, 0x7F, 1, 0x14, 2, 3, 4, 0x15, 0xF7, 0, 0}},
        {{0x90, 0x3C, 0x64}, {0x19, 0x90, 0x3C, 0x64}},
        {{0xC5, 7}, {0x1C, 0xC5, 7, 0}},
        {{0xF8}, {0x1F, 0xF8, 0, 0}},
    };
    for (const case_t& c : cases) {
        EXPECT_EQ(event_packets(1, c.message), c.packets);
        // And back, as the device reads what the host sends.
        std::vector<uint8_t> bytes;
        for (std::size_t at = 0; at < c.packets.size(); at += 4) EXPECT_EQ(packet_bytes(&c.packets[at], bytes), 1);
        EXPECT_EQ(bytes, c.message);
    }
    const uint8_t reserved[] = {0x20, 1, 2, 3};
    std::vector<uint8_t> none;
    EXPECT_EQ(packet_bytes(reserved, none), 2);
    EXPECT_TRUE(none.empty()) << "reserved code index numbers carry nothing";
}
