// SPDX-License-Identifier: MIT
#pragma once

// Turns the bytes of one input into short messages and SysEx bodies: running
// status, real-time bytes anywhere, SysEx spanning packets.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/midi_io/midi_io.hpp"

namespace zal::midi::io {

class receive_parser_t {
public:
    // SysEx bodies are delivered in pieces of at most this many bytes.
    static constexpr std::size_t max_sysex = 0x20000;

    receive_parser_t(on_message_t on_message, on_sysex_t on_sysex)
        : on_message_(std::move(on_message)), on_sysex_(std::move(on_sysex)) {}

    void feed(const uint8_t* bytes, std::size_t length);
    // Bytes were lost: a SysEx being received is delivered as incomplete.
    void overrun();

private:
    void feed(uint8_t b);
    void deliver(uint8_t status, uint8_t data1, uint8_t data2) const;
    void sysex_byte(uint8_t b);
    void sysex_end(uint8_t mark);

    uint8_t held_ = 0;
    uint8_t held_bytes_[2] = {};
    uint8_t expected_ = 0;
    uint8_t running_status_ = 0;
    bool sysex_over_limit_ = false;
    std::vector<uint8_t> sysex_buffer_;
    on_message_t on_message_;
    on_sysex_t on_sysex_;
};

}  // namespace zal::midi::io
