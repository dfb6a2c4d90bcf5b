// SPDX-License-Identifier: MIT
#include "common/text/printable.hpp"

#include <cstdint>
#include <cstdio>

namespace zal {

namespace {

bool is_escaped(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The character at the start of TEXT and its length in bytes; length 0 for a
// byte that starts no well-formed UTF-8 sequence.
std::pair<char32_t, std::size_t> decode(std::string_view text) {
    const auto byte = [&](std::size_t i) { return uint8_t(text[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t c = 0, lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, c = lead & 0x1F, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, c = lead & 0x0F, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, c = lead & 0x07, lowest = 0x10000;
    if (length == 0 || text.size() < length) return {0, 0};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0, 0};
        c = c << 6 | (byte(i) & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {0, 0};
    return {c, length};
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[12];
    while (!text.empty()) {
        const auto [c, length] = decode(text);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(uint8_t(text[0])));
            out += escape;
            text.remove_prefix(1);
            continue;
        }
        if (is_escaped(c)) {
            std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", unsigned(c));
            out += escape;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace zal
