// SPDX-License-Identifier: MIT
#pragma once

// Text from outside (file names, package entries, device and port names,
// signers) on its way to a terminal or a log: control characters could move
// the cursor, rewrite a line or reverse what follows it.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zal {

// TEXT with every C0 control, DEL, C1 control (U+0080 to U+009F) and
// bidirectional control (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069) written as an escape: "\x1b" for a byte, "\u202e" for a character;
// a byte that is not UTF-8 is escaped as a byte. Everything else is kept.
std::string printable(std::string_view text);

// Writes LINE to OUT as printable() makes it, then a line end, in one call so
// that the lines of two threads never interleave. Every diagnostic line of the
// core goes out here, whatever text from outside its caller put in it.
void write_line(std::FILE* out, std::string_view line);

// TEXT, an English text or its translation, with each %N replaced by
// printable(values[N - 1]) in one pass, so that a value never fills a later
// placeholder. A translation that lost a placeholder keeps its words and gets
// the value after them.
std::string fill(std::string_view text, const std::vector<std::string>& values);

}  // namespace zal
