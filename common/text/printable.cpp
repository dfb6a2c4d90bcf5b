// SPDX-License-Identifier: MIT
#include "common/text/printable.hpp"

#include <cstdint>
#include <cstdio>

#include "common/text/utf8.hpp"

namespace zal {

namespace {

bool is_escaped(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[12];
    while (!text.empty()) {
        const auto [c, length] = decode_utf8(text);
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

void write_line(std::FILE* out, std::string_view line) {
    const std::string text = printable(line) + '\n';
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

std::string fill(std::string_view text, const std::vector<std::string>& values) {
    std::string filled;
    std::vector<bool> used(values.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t n = i + 1 < text.size() ? std::size_t(text[i + 1] - '1') : values.size();
        if (text[i] == '%' && n < values.size() && n < 9) {
            filled += printable(values[n]);
            used[n] = true;
            ++i;
        } else {
            filled += text[i];
        }
    }
    for (std::size_t n = 0; n < values.size(); ++n)
        if (!used[n]) filled += ' ' + printable(values[n]);
    return filled;
}

}  // namespace zal
