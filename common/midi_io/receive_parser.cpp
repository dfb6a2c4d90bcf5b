// SPDX-License-Identifier: MIT
#include "common/midi_io/receive_parser.hpp"

namespace zal::midi::io {

namespace {

uint8_t data_bytes_of(uint8_t status) {
    switch (status & 0xF0) {
        case 0x80:
        case 0x90:
        case 0xA0:
        case 0xB0:
        case 0xE0: return 2;
        case 0xC0:
        case 0xD0: return 1;
        default: break;
    }
    switch (status) {
        case 0xF2: return 2;
        case 0xF1:
        case 0xF3: return 1;
        default: return 0;
    }
}

}  // namespace

void receive_parser_t::feed(const uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) feed(bytes[i]);
}

void receive_parser_t::overrun() {
    if (running_status_ != 0xF0) return;
    sysex_end(0xFF);
    running_status_ = 0;
}

void receive_parser_t::deliver(uint8_t status, uint8_t data1, uint8_t data2) const {
    if (on_message_) on_message_({status, data1, data2});
}

void receive_parser_t::feed(uint8_t b) {
    if (b >= 0xF8) {
        deliver(b, 0x80, 0x80);
        return;
    }
    if (b >= 0x80) {
        if (running_status_ == 0xF0) {
            sysex_end(b == 0xF7 ? 0xF7 : 0xFF);
            running_status_ = 0;
        }
        if (b == 0xF7) {
            held_ = expected_ = running_status_ = 0;
            return;
        }
        running_status_ = b;
        held_ = 0;
        expected_ = data_bytes_of(b);
        if (b == 0xF0) {
            sysex_buffer_.clear();
            sysex_over_limit_ = false;
        } else if (expected_ == 0) {
            deliver(b, 0, 0);
        }
        return;
    }

    if (running_status_ == 0) return;
    if (expected_ > 0) {
        if (held_ < 2) held_bytes_[held_] = b;
        ++held_;
        if (--expected_ == 0) deliver(running_status_, held_bytes_[0], held_ >= 2 ? held_bytes_[1] : 0);
        return;
    }
    if (running_status_ == 0xF0) {
        sysex_byte(b);
        return;
    }
    if (running_status_ >= 0xF1) return;

    held_bytes_[0] = b;
    held_ = 1;
    const uint8_t kind = running_status_ & 0xF0;
    expected_ = (kind == 0xC0 || kind == 0xD0) ? 0 : 1;
    if (expected_ == 0) deliver(running_status_, b, 0);
}

void receive_parser_t::sysex_byte(uint8_t b) {
    if (sysex_buffer_.size() >= max_sysex) {
        // The body goes out in pieces; this byte starts the next one.
        if (on_sysex_) on_sysex_(sysex_buffer_.data(), sysex_buffer_.size(), true);
        sysex_buffer_.clear();
        sysex_over_limit_ = true;
    }
    sysex_buffer_.push_back(b);
}

void receive_parser_t::sysex_end(uint8_t mark) {
    if (on_sysex_) on_sysex_(sysex_buffer_.data(), sysex_buffer_.size(), mark == 0xFF || sysex_over_limit_);
    sysex_buffer_.clear();
    sysex_over_limit_ = false;
}

}  // namespace zal::midi::io
