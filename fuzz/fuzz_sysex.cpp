// SPDX-License-Identifier: MIT
// What a device sends over MIDI, as the engine reads it: arbitrary bytes cut
// into packets (the first byte of each sets the next one's length) through the
// receive parser, and every SysEx body it delivers read as a bootloader key and
// as a stage-2 firmware report.
#include <cstdint>
#include <cstdlib>

#include "common/midi_io/receive_parser.hpp"
#include "updater/midi.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zal;
    auto on_sysex = [](const uint8_t* body, std::size_t length, bool) {
        if (length > midi::io::receive_parser_t::max_sysex) std::abort();
        updater::midi::bootloader_magic_key_t key;
        key.read(body, length);
        if (const auto report = updater::midi::read_stage2_report(body, length))
            if (report->text.size() > 64) std::abort();
    };
    midi::io::receive_parser_t parser([](midi::message_t) {}, on_sysex);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t packet = std::min<std::size_t>(data[at] % 64 + 1, size - at - 1);
        ++at;
        parser.feed(data + at, packet);
        at += packet;
        if (packet == 0) parser.overrun();
    }
    return 0;
}
