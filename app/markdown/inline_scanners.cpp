// SPDX-License-Identifier: MIT
#include "app/markdown/inline_scanners.hpp"

namespace zal::gui {

bool is_line_terminator(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

namespace {

// The length of the character (one code point) at `p`, in UTF-16 units.
qsizetype character_length(QStringView text, qsizetype p) {
    return text[p].isHighSurrogate() && p + 1 < text.size() && text[p + 1].isLowSurrogate() ? 2 : 1;
}

}  // namespace

std::optional<text_match_t> escape_matcher_t::match(QStringView text, qsizetype from) const {
    const qsizetype p = text.indexOf(u'\\', from);
    if (p < 0 || p + 1 >= text.size()) return std::nullopt;
    return text_match_t{{{p, 1 + character_length(text, p + 1)}}};
}

std::optional<text_match_t> hex_escape_matcher_t::match(QStringView text, qsizetype from) const {
    const auto hex_digit = [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z'); };
    for (qsizetype p = text.indexOf(u'\\', from); p >= 0 && p + 4 < text.size(); p = text.indexOf(u'\\', p + 1)) {
        if (hex_digit(text[p + 1]) && hex_digit(text[p + 2]) && hex_digit(text[p + 3]) && hex_digit(text[p + 4]))
            return text_match_t{{{p, 5}}};
    }
    return std::nullopt;
}

std::optional<text_match_t> enclosed_matcher_t::match(QStringView text, qsizetype from) const {
    const auto opens_at = [&](qsizetype p, const QString& delimiter) {
        if (text[p] != delimiter[0] || p + delimiter.size() > text.size()) return false;
        return delimiter.size() == 1 || QStringView(text).mid(p, delimiter.size()) == delimiter;
    };
    for (qsizetype start = from; start < text.size(); ++start) {
        for (const QString& delimiter : delimiters_) {
            if (!opens_at(start, delimiter)) continue;
            const qsizetype content = start + delimiter.size();
            if (content >= text.size() || is_line_terminator(text[content])) break;
            // The lazy content ends at the first delimiter after its first character,
            // unless a line ends before.
            for (qsizetype p = content + character_length(text, content); p < text.size(); ++p) {
                if (opens_at(p, delimiter))
                    return text_match_t{{{start, p + delimiter.size() - start},
                                         {start, delimiter.size()},
                                         {content, p - content},
                                         {p, delimiter.size()}}};
                if (is_line_terminator(text[p])) break;
            }
            break;  // the delimiters begin with different marks: one opens here at most
        }
    }
    return std::nullopt;
}

}  // namespace zal::gui
