// SPDX-License-Identifier: MIT
#pragma once

// The rule engine of the release-notes renderer: an ordered list of rules, each
// a pattern and an action that edits the styled text where the pattern matches.

#include <QRegularExpression>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/markdown/styled_text.hpp"

namespace zal::gui {

// A match: the range of the whole match (group 0) and of each capture group;
// start -1 for a group that did not take part.
struct text_match_t {
    struct range_t {
        qsizetype start = -1;
        qsizetype length = 0;
        qsizetype end() const { return start + length; }
    };
    std::vector<range_t> groups;

    const range_t& range(std::size_t group = 0) const { return groups.at(group); }
};

// What finds a rule's matches: a compiled pattern or the link detector.
class text_matcher_t {
public:
    virtual ~text_matcher_t() = default;
    // Called before each pass of a rule over a new text.
    virtual void begin(QStringView) const {}
    // The first match at or after `from`; characters before `from` count for
    // look-behind and line starts.
    virtual std::optional<text_match_t> match(QStringView text, qsizetype from) const = 0;
};

class regex_matcher_t final : public text_matcher_t {
public:
    explicit regex_matcher_t(QRegularExpression expression) : expression_(std::move(expression)) {}
    std::optional<text_match_t> match(QStringView text, qsizetype from) const override;
    const QRegularExpression& expression() const { return expression_; }

private:
    QRegularExpression expression_;
};

// Compiles a pattern written for ICU so that PCRE2 gives ICU's matches.
QRegularExpression icu_expression(const QString& pattern, QRegularExpression::PatternOptions options);

// Matches a view without copying it: matchView() from Qt 6.5, where match()
// of a view is deprecated.
inline QRegularExpressionMatch match_view(
    const QRegularExpression& expression, QStringView text, qsizetype offset = 0,
    QRegularExpression::MatchType type = QRegularExpression::NormalMatch,
    QRegularExpression::MatchOptions options = QRegularExpression::NoMatchOption) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return expression.matchView(text, offset, type, options);
#else
    return expression.match(text, offset, type, options);
#endif
}

using rule_block_t = std::function<void(const text_match_t& match, styled_text_t& text)>;

class ExpressionBlockPair {
public:
    static ExpressionBlockPair pairWithRegularExpression(std::shared_ptr<const text_matcher_t> regularExpression,
                                                         rule_block_t block) {
        return {std::move(regularExpression), std::move(block)};
    }
    std::shared_ptr<const text_matcher_t> regularExpression;
    rule_block_t block;
};

class BaseParser {
public:
    BaseParser() = default;
    virtual ~BaseParser() = default;
    BaseParser(const BaseParser&) = delete;
    BaseParser& operator=(const BaseParser&) = delete;

    std::optional<text_attributes_t> defaultAttributes;

    void addParsingRuleWithRegularExpression(std::shared_ptr<const text_matcher_t> regularExpression,
                                             rule_block_t block);

    styled_text_t attributedStringFromMarkdown(const QString& markdown);
    styled_text_t attributedStringFromMarkdown(const QString& markdown,
                                               const std::optional<text_attributes_t>& attributes);
    styled_text_t attributedStringFromAttributedMarkdownString(const styled_text_t& markdown);

    std::vector<ExpressionBlockPair> parsingPairs() const;

private:
    mutable std::mutex lock_;  // one parse at a time; rules are added under it too
    std::vector<ExpressionBlockPair> parsingPairs_;
};

}  // namespace zal::gui
