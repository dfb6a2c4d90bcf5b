// SPDX-License-Identifier: MIT
#pragma once

// The Intel HEX reader has two paths: whole records at once (`process_record`)
// and character by character (`process`), which the first falls back to. They
// must read every text alike: the records each completes, and the state each
// leaves behind.

#include <cstdint>
#include <string>
#include <vector>

#include "update/firmware.hpp"

namespace zal::ihex_paths {

struct reading_t {
    std::vector<std::vector<uint8_t>> records;  // per completed record: its load address (4 bytes), then its data
    std::vector<uint32_t> state;                // the parser's fields at the end

    bool operator==(const reading_t&) const = default;
};

inline void note_record(reading_t& r, const ihex_parser_t& p) {
    const uint32_t at = p.load_address();
    std::vector<uint8_t> record = {uint8_t(at), uint8_t(at >> 8), uint8_t(at >> 16), uint8_t(at >> 24)};
    record.insert(record.end(), p.data, p.data + p.length);
    r.records.push_back(std::move(record));
}

inline void note_state(reading_t& r, const ihex_parser_t& p) {
    r.state = {p.address,  p.segment, uint32_t(p.nibble_pending), p.value, p.length, uint32_t(p.state),
               p.expected, p.index,   uint32_t(p.type),           p.sum};
}

// Character by character only.
inline reading_t by_characters(const char* text, std::size_t length) {
    reading_t r;
    ihex_parser_t p;
    for (std::size_t i = 0; i < length; ++i)
        if (p.process(text[i])) note_record(r, p);
    note_state(r, p);
    return r;
}

// As the reader goes: a record at once where it can, characters elsewhere.
inline reading_t by_records(const char* text, std::size_t length) {
    reading_t r;
    ihex_parser_t p;
    p.read(text, length, [&] {
        note_record(r, p);
        return true;
    });
    note_state(r, p);
    return r;
}

}  // namespace zal::ihex_paths
