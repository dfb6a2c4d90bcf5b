// SPDX-License-Identifier: MIT
#include "common/text/utf8.hpp"

#include <gtest/gtest.h>

using namespace zal;

// What is no well-formed sequence is refused wherever a text is read.
TEST(Utf8, OnlyWellFormedSequencesDecode) {
    const struct {
        std::string bytes;
        std::size_t length;
    } cases[] = {
        {"a", 1},
        {"\xC3\xA9", 2},
        {"\xE2\x82\xAC", 3},
        {"\xF0\x9F\x8E\xB9", 4},
        {"\xC0\xAF", 0},  // overlong '/'
        {"\xE0\x80\xAF", 0},
        {"\xED\xA0\x80", 0},      // a surrogate
        {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
        {"\xC3", 0},
        {"\x80", 0},
        {"\xC3(", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_utf8(c.bytes).length, c.length) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(decode_utf8("\xE2\x82\xAC").c, U'€');
}

// A firmware cuts its report at 64 bytes, maybe inside a character: the
// whole characters before the cut stay, and nothing else is taken away.
TEST(Utf8, ACharacterCutAtTheEndGoes) {
    EXPECT_EQ(without_cut_character("Moteur \xC3"), "Moteur ");
    EXPECT_EQ(without_cut_character("Moteur \xE2\x82"), "Moteur ");
    EXPECT_EQ(without_cut_character("\xF0\x9F\x8E"), "");
    EXPECT_EQ(without_cut_character("Moteur \xE2\x82\xAC"), "Moteur \xE2\x82\xAC");
    EXPECT_EQ(without_cut_character("abc"), "abc");
    EXPECT_EQ(without_cut_character(""), "");
    EXPECT_EQ(without_cut_character("a\x80\x80\x80\x80"), "a\x80\x80\x80\x80") << "not a cut character";
    std::string out;
    append_utf8(out, 0xD800);
    EXPECT_EQ(out, "\xEF\xBF\xBD");
    EXPECT_EQ(valid_utf8("a\xFF"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
}
