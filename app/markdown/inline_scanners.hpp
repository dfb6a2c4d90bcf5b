// SPDX-License-Identifier: MIT
#pragma once

// Scanners for the renderer's most frequent patterns, with exactly the matches
// of the patterns named below (PCRE2 with the ICU options of `icu_expression`)
// and none of a pattern engine's cost per match: notes made of thousands of
// escapes or emphasis marks call them once per mark.

#include <QString>

#include <vector>

#include "app/markdown/base_parser.hpp"

namespace zal::gui {

// `\\.` with DotMatchesEverything: a backslash and the character after it.
class escape_matcher_t final : public text_matcher_t {
public:
    std::optional<text_match_t> match(QStringView text, qsizetype from) const override;
};

// `\\[0-9a-z]{4}`: an escape as the escaping rules write it.
class hex_escape_matcher_t final : public text_matcher_t {
public:
    std::optional<text_match_t> match(QStringView text, qsizetype from) const override;
};

// `(d1|d2|…)(.+?)(\1)` for delimiters made of ASCII marks: the same mark opens
// and closes a span of at least one character within a line.
class enclosed_matcher_t final : public text_matcher_t {
public:
    explicit enclosed_matcher_t(std::vector<QString> delimiters) : delimiters_(std::move(delimiters)) {}
    std::optional<text_match_t> match(QStringView text, qsizetype from) const override;

private:
    std::vector<QString> delimiters_;
};

// The characters that `.` does not match without DotMatchesEverything under
// (*ANY): ICU's line terminators.
bool is_line_terminator(QChar c);

}  // namespace zal::gui
