// SPDX-License-Identifier: MIT
#include "app/markdown/link_detector.hpp"

namespace zal::gui {

namespace {

bool is_alnum(QChar c) { return c.unicode() < 128 && (c.isLetterOrNumber()); }
bool is_space(QChar c) { return c.isSpace(); }

bool may_start_after(QStringView text, qsizetype p) {
    if (p == 0) return true;
    const QChar before = text[p - 1];
    return is_space(before) || before == u'(' || before == u'*' || before == u'_' || before == u'~' || before == u'[' ||
           before == u'<';
}

// A domain: segments of letters, digits, '_' and '-' separated by periods, at
// least `periods` of them; no underscore in the last two segments. Returns its end.
std::optional<qsizetype> domain_end(QStringView text, qsizetype p, int periods) {
    qsizetype end = p;
    int dots = 0;
    qsizetype segment_start = p;
    bool underscore_last = false, underscore_before_last = false;
    while (end < text.size()) {
        const QChar c = text[end];
        if (is_alnum(c) || c == u'-' || c == u'_' || (c.unicode() >= 128 && c.isLetterOrNumber())) {
            ++end;
            continue;
        }
        if (c == u'.' && end > segment_start && end + 1 < text.size() &&
            (is_alnum(text[end + 1]) || text[end + 1] == u'-' || text[end + 1] == u'_')) {
            underscore_before_last = underscore_last;
            underscore_last = QStringView(text).mid(segment_start, end - segment_start).contains(u'_');
            ++dots;
            ++end;
            segment_start = end;
            continue;
        }
        break;
    }
    if (end == p || end == segment_start) return std::nullopt;
    underscore_before_last = underscore_last;
    underscore_last = QStringView(text).mid(segment_start, end - segment_start).contains(u'_');
    if (dots < periods || underscore_last || (dots > 0 && underscore_before_last)) return std::nullopt;
    return end;
}

// The path after a domain runs to white space or '<'; then trailing punctuation
// and unbalanced closing parentheses are taken off.
qsizetype path_end(QStringView text, qsizetype p) {
    qsizetype end = p;
    // Parentheses counted once, and kept up to date as the end moves back.
    qsizetype open = 0, close = 0;
    while (end < text.size() && !is_space(text[end]) && text[end] != u'<') {
        open += text[end] == u'(';
        close += text[end] == u')';
        ++end;
    }
    auto drop_last = [&] {
        --end;
        open -= text[end] == u'(';
        close -= text[end] == u')';
    };
    for (;;) {
        if (end <= p) return end;
        const QChar last = text[end - 1];
        if (last == u'?' || last == u'!' || last == u'.' || last == u',' || last == u':' || last == u'*' ||
            last == u'_' || last == u'~' || last == u'\'' || last == u'"') {
            drop_last();
            continue;
        }
        if (last == u')' && close > open) {
            drop_last();
            continue;
        }
        if (last == u';') {  // an entity reference such as &amp; at the end
            qsizetype amp = end - 2;
            while (amp >= p && is_alnum(text[amp])) --amp;
            if (amp >= p && text[amp] == u'&' && amp < end - 2) {
                while (end > amp) drop_last();
                continue;
            }
        }
        return end;
    }
}

std::optional<qsizetype> url_with_scheme(QStringView text, qsizetype p) {
    qsizetype q = p;
    if (q >= text.size() || !text[q].isLetter() || text[q].unicode() >= 128) return std::nullopt;
    while (q < text.size() && q - p < 32 &&
           (is_alnum(text[q]) || text[q] == u'+' || text[q] == u'.' || text[q] == u'-'))
        ++q;
    if (q - p < 2 || !text.mid(q).startsWith(u"://")) return std::nullopt;
    const auto domain = domain_end(text, q + 3, 0);
    if (!domain) return std::nullopt;
    return path_end(text, *domain);
}

std::optional<qsizetype> www_address(QStringView text, qsizetype p) {
    if (!text.mid(p).startsWith(u"www.", Qt::CaseInsensitive)) return std::nullopt;
    const auto domain = domain_end(text, p + 4, 0);
    if (!domain) return std::nullopt;
    return path_end(text, *domain);
}

qsizetype local_part_end(QStringView text, qsizetype p) {
    qsizetype at = p;
    while (at < text.size() &&
           (is_alnum(text[at]) || text[at] == u'.' || text[at] == u'-' || text[at] == u'_' || text[at] == u'+'))
        ++at;
    return at;
}

std::optional<qsizetype> email_address(QStringView text, qsizetype p) {
    const qsizetype at = local_part_end(text, p);
    if (at == p || at >= text.size() || text[at] != u'@') return std::nullopt;
    qsizetype end = at + 1;
    int dots = 0;
    while (end < text.size()) {
        const QChar c = text[end];
        if (is_alnum(c) || c == u'-' || c == u'_') {
            ++end;
        } else if (c == u'.' && end + 1 < text.size() && is_alnum(text[end + 1])) {
            ++dots;
            ++end;
        } else {
            break;
        }
    }
    if (end == at + 1 || dots == 0) return std::nullopt;
    if (text[end - 1] == u'-' || text[end - 1] == u'_') return std::nullopt;
    return end;
}

}  // namespace

std::optional<found_link_t> find_link(QStringView text, qsizetype from) {
    // Where the local part that an e-mail address starting here would have ends:
    // every later start inside it reaches the same '@' and fails the same way,
    // so that a long local part is read once, not once per start.
    qsizetype failed_local_part_end = -1;
    for (qsizetype p = std::max<qsizetype>(from, 0); p < text.size(); ++p) {
        if (!is_alnum(text[p]) || !may_start_after(text, p)) continue;
        if (const auto end = url_with_scheme(text, p)) return found_link_t{p, *end - p, false};
        if (const auto end = www_address(text, p)) return found_link_t{p, *end - p, false};
        if (p < failed_local_part_end) continue;
        if (const auto end = email_address(text, p)) return found_link_t{p, *end - p, true};
        failed_local_part_end = local_part_end(text, p);
    }
    return std::nullopt;
}

}  // namespace zal::gui
