// SPDX-License-Identifier: MIT
#include "common/text/utf8.hpp"

#include <cstdint>

namespace zal {

namespace {

// The length of the sequence a lead byte starts; 0 for a byte that starts none.
std::size_t sequence_length(uint8_t lead) {
    return lead < 0x80                    ? 1
           : lead >= 0xC2 && lead <= 0xDF ? 2
           : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                          : 0;
}

bool is_scalar_value(char32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }

}  // namespace

utf8_char_t decode_utf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return uint8_t(text[i]); };
    const uint8_t lead = byte(0);
    const std::size_t length = sequence_length(lead);
    if (length == 1) return {lead, 1};
    if (length == 0 || text.size() < length) return {};
    static constexpr char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {};
        c = c << 6 | (byte(i) & 0x3F);
    }
    if (c < lowest[length] || !is_scalar_value(c)) return {};
    return {c, length};
}

void append_utf8(std::string& out, char32_t c) {
    if (!is_scalar_value(c)) c = 0xFFFD;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const utf8_char_t next = decode_utf8(text);
        if (next.length == 0) {
            append_utf8(out, 0xFFFD);
            text.remove_prefix(1);
            continue;
        }
        out.append(text.substr(0, next.length));
        text.remove_prefix(next.length);
    }
    return out;
}

std::string_view without_cut_character(std::string_view text) {
    // A cut character is a lead byte in the last three bytes whose sequence
    // would run past the end.
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const uint8_t byte = uint8_t(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        if (sequence_length(byte) > back) return text.substr(0, text.size() - back);
        break;
    }
    return text;
}

}  // namespace zal
