// SPDX-License-Identifier: MIT
#pragma once

// Code spans found by a scanner instead of a backtracking pattern: the same
// matches as `(?<!\\)(?:\\\\)*+(`+)(.*?[^`].*?)(\1)(?!`)` in ICU, in time
// linear in the text, where PCRE2 gives up on long spans and reports no match.

#include <vector>

#include "app/markdown/base_parser.hpp"

namespace zal::gui {

class code_span_matcher_t final : public text_matcher_t {
public:
    // `dot_all`: the content may cross line ends; otherwise, as `.` without
    // DotMatchesEverything, it holds at most one of ICU's line terminators.
    explicit code_span_matcher_t(bool dot_all) : dot_all_(dot_all) {}

    void begin(QStringView text) const override;
    std::optional<text_match_t> match(QStringView text, qsizetype from) const override;

private:
    struct run_t {
        qsizetype start, length;
    };

    // The first run at index `first` or later, before index `last`, of at least
    // `length` backticks; -1 when there is none.
    qsizetype first_run_of_at_least(qsizetype first, qsizetype last, qsizetype length) const;
    qsizetype longest_run(qsizetype first, qsizetype last) const;
    // A span whose opening run (`available` backticks) begins at `open`.
    std::optional<text_match_t> span_at(QStringView text, qsizetype match_start, qsizetype open,
                                        qsizetype available) const;

    bool dot_all_;
    // Of the text of the current pass; a pass only ever searches forward.
    mutable std::vector<run_t> runs_;
    mutable std::vector<qsizetype> longest_;  // a max-tree over the runs' lengths
    mutable qsizetype leaves_ = 1;
    mutable std::vector<qsizetype> line_ends_;
};

}  // namespace zal::gui
