// SPDX-License-Identifier: MIT
// What reaches a terminal or a log of a text from outside: byte for byte.
#include <gtest/gtest.h>

#include "common/text/printable.hpp"

using namespace zal;

TEST(Printable, ControlsAndBidirectionalOverridesAreEscaped) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"Signed by Zalmir", "Signed by Zalmir"},
        {"\x1b[1G\x1b[2KSigned by Zalmir (key 1A2B3C4D).", "\\x1b[1G\\x1b[2KSigned by Zalmir (key 1A2B3C4D)."},
        {"a\nb\rc\td\x7f", "a\\x0ab\\x0dc\\x09d\\x7f"},
        {std::string("nul\0here", 8), "nul\\x00here"},
        {"C1 \xc2\x9b"
         "31m",
         "C1 \\u009b31m"},                                                  // CSI as one character
        {"file\xe2\x80\xaetxt.exe", "file\\u202etxt.exe"},                  // right-to-left override
        {"\xe2\x81\xa6x\xe2\x81\xa9 \xd8\x9c", "\\u2066x\\u2069 \\u061c"},  // isolates, Arabic letter mark
        {"Fenêtre — Ruvo ✓ 𝄞", "Fenêtre — Ruvo ✓ 𝄞"},                       // ordinary UTF-8 stays
        {"bad \xff\xc0\xaf end", "bad \\xff\\xc0\\xaf end"},                // not UTF-8, nor overlong
        {"cut \xe2\x80", "cut \\xe2\\x80"},
        {"surrogate \xed\xa0\x80", "surrogate \\xed\\xa0\\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(printable(c.in), c.out) << c.out;
}
