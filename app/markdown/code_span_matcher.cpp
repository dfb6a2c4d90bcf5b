// SPDX-License-Identifier: MIT
#include "app/markdown/code_span_matcher.hpp"
#include "app/markdown/inline_scanners.hpp"

#include <algorithm>

namespace zal::gui {

namespace {

qsizetype run_end(QStringView text, qsizetype at, QChar c) {
    while (at < text.size() && text[at] == c) ++at;
    return at;
}

}  // namespace

void code_span_matcher_t::begin(QStringView text) const {
    runs_.clear();
    line_ends_.clear();
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'`') {
            const qsizetype end = run_end(text, i, u'`');
            runs_.push_back({i, end - i});
            i = end;
            continue;
        }
        if (is_line_terminator(text[i])) line_ends_.push_back(i);
        ++i;
    }
    leaves_ = 1;
    while (leaves_ < qsizetype(runs_.size())) leaves_ *= 2;
    longest_.assign(std::size_t(2 * leaves_), 0);
    for (std::size_t i = 0; i < runs_.size(); ++i) longest_[std::size_t(leaves_) + i] = runs_[i].length;
    for (qsizetype i = leaves_ - 1; i > 0; --i)
        longest_[std::size_t(i)] = std::max(longest_[std::size_t(2 * i)], longest_[std::size_t(2 * i + 1)]);
}

qsizetype code_span_matcher_t::longest_run(qsizetype first, qsizetype last) const {
    qsizetype best = 0;
    for (qsizetype l = first + leaves_, r = last + leaves_; l < r; l /= 2, r /= 2) {
        if (l & 1) best = std::max(best, longest_[std::size_t(l++)]);
        if (r & 1) best = std::max(best, longest_[std::size_t(--r)]);
    }
    return best;
}

qsizetype code_span_matcher_t::first_run_of_at_least(qsizetype first, qsizetype last, qsizetype length) const {
    // Walks up from `first` to a subtree that holds one, then down to its leftmost.
    for (qsizetype node = first + leaves_; node > 0;) {
        if (longest_[std::size_t(node)] >= length) {
            while (node < leaves_) node = longest_[std::size_t(2 * node)] >= length ? 2 * node : 2 * node + 1;
            const qsizetype index = node - leaves_;
            return index < last ? index : -1;
        }
        // Past this subtree: to the next one on its right at the same height.
        while (node & 1) node /= 2;
        if (node == 0) break;
        ++node;
    }
    return -1;
}

std::optional<text_match_t> code_span_matcher_t::span_at(QStringView text, qsizetype match_start, qsizetype open,
                                                         qsizetype available) const {
    // The content holds a character that is not a backtick: the first one after
    // the opening run. The closing run starts after it, holds at least as many backticks as the opening one and
    // is not followed by another: it is the end of a run of at least that length.
    const qsizetype content_needs = open + available;  // the first character that is no backtick
    if (content_needs >= text.size()) return std::nullopt;
    const auto after = std::upper_bound(runs_.begin(), runs_.end(), content_needs,
                                        [](qsizetype at, const run_t& run) { return at < run.start; });
    const qsizetype first = after - runs_.begin();
    qsizetype last = qsizetype(runs_.size());
    if (!dot_all_) {
        // `.` stops at a line end, but the one `[^`]` of the content may be one:
        // the content holds at most one line end.
        auto line_end = std::lower_bound(line_ends_.begin(), line_ends_.end(), content_needs);
        if (line_end != line_ends_.end() && ++line_end != line_ends_.end()) {
            const qsizetype limit = *line_end;
            last = std::lower_bound(runs_.begin(), runs_.end(), limit,
                                    [](const run_t& run, qsizetype at) { return run.start < at; }) -
                   runs_.begin();
        }
    }
    // The longest opening that finds a closing run wins, as a greedy `+` backtracks.
    const qsizetype length = std::min(available, longest_run(first, last));
    if (length == 0) return std::nullopt;
    const qsizetype index = first_run_of_at_least(first, last, length);
    if (index < 0) return std::nullopt;
    const run_t& closing = runs_[std::size_t(index)];
    const qsizetype close = closing.start + closing.length - length;
    text_match_t match;
    match.groups = {{match_start, close + length - match_start},
                    {open, length},
                    {open + length, close - open - length},
                    {close, length}};
    return match;
}

std::optional<text_match_t> code_span_matcher_t::match(QStringView text, qsizetype from) const {
    for (qsizetype i = std::max<qsizetype>(from, 0); i < text.size();) {
        const bool escaped = i > 0 && text[i - 1] == u'\\';
        if (text[i] == u'\\') {
            const qsizetype end = run_end(text, i, u'\\');
            if (end < text.size() && text[end] == u'`') {
                const qsizetype backticks = run_end(text, end, u'`') - end;
                // Pairs of backslashes before a backtick belong to the match; an odd
                // one escapes the first backtick, and the span may begin after it.
                if (!escaped && (end - i) % 2 == 0) {
                    if (auto found = span_at(text, i, end, backticks)) return found;
                } else if (backticks > 1) {
                    if (auto found = span_at(text, end + 1, end + 1, backticks - 1)) return found;
                }
                i = end + backticks;  // no later start in these runs finds more
                continue;
            }
            i = end;
            continue;
        }
        if (text[i] == u'`') {
            const qsizetype end = run_end(text, i, u'`');
            if (!escaped) {
                if (auto found = span_at(text, i, i, end - i)) return found;
            } else if (end - i > 1) {
                if (auto found = span_at(text, i + 1, i + 1, end - i - 1)) return found;
            }
            i = end;
            continue;
        }
        ++i;
    }
    return std::nullopt;
}

}  // namespace zal::gui
