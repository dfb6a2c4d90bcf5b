// SPDX-License-Identifier: MIT
#pragma once

// UTF-8 from outside (device strings, a firmware's reports, package texts),
// read one way everywhere: well-formed sequences only, no overlong forms, no
// surrogates, nothing past U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace zal {

struct utf8_char_t {
    char32_t c = 0;
    std::size_t length = 0;  // 0: the bytes there start no well-formed sequence
};

// The character at the start of TEXT (which must not be empty).
utf8_char_t decode_utf8(std::string_view text);

// Appends C, or U+FFFD for what is no Unicode scalar value.
void append_utf8(std::string& out, char32_t c);

// TEXT with each byte that starts no well-formed sequence replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

// TEXT without a character cut short at its end, as a sender that cuts its
// texts at a byte count leaves it.
std::string_view without_cut_character(std::string_view text);

}  // namespace zal
