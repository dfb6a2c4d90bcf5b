// SPDX-License-Identifier: MIT
#include "app/markdown/base_parser.hpp"

namespace zal::gui {

namespace {

// ICU's \s is Unicode's White_Space property; PCRE2's also takes U+180E.
const QString white_space = QStringLiteral(
    "\\t\\n\\x{0B}\\f\\r\\x{20}\\x{85}\\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}\\x{202F}\\x{205F}\\x{"
    "3000}");

// Writes \s and \S out as ICU's sets; only outside brackets, where the
// renderer's patterns use them.
QString with_icu_white_space(const QString& pattern) {
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'\\' && i + 1 < pattern.size()) {
            const QChar next = pattern[++i];
            if (next == u's')
                out += u'[' + white_space + u']';
            else if (next == u'S')
                out += QStringLiteral("[^") + white_space + u']';
            else
                out += u'\\' + QString(next);
            continue;
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace

QRegularExpression icu_expression(const QString& pattern, QRegularExpression::PatternOptions options) {
    // (*ANY): ICU's set of line endings; Unicode properties: ICU's \w.
    return QRegularExpression(QStringLiteral("(*ANY)") + with_icu_white_space(pattern),
                              options | QRegularExpression::UseUnicodePropertiesOption);
}

std::optional<text_match_t> regex_matcher_t::match(QStringView text, qsizetype from) const {
    // Without the option each call checks the whole subject again: quadratic.
    QRegularExpressionMatch m;
    // PCRE2 gives up on a start that needs too much backtracking, which Qt reports
    // as an invalid match, not as none: the search goes on from the next start.
    for (qsizetype start = from; start <= text.size(); ++start) {
        m = match_view(expression_, text, start, QRegularExpression::NormalMatch,
                       QRegularExpression::DontCheckSubjectStringMatchOption);
        if (m.isValid()) break;
    }
    if (!m.hasMatch()) return std::nullopt;
    text_match_t result;
    for (int i = 0; i <= m.lastCapturedIndex(); ++i) result.groups.push_back({m.capturedStart(i), m.capturedLength(i)});
    return result;
}

void BaseParser::addParsingRuleWithRegularExpression(std::shared_ptr<const text_matcher_t> regularExpression,
                                                     rule_block_t block) {
    std::lock_guard guard(lock_);
    parsingPairs_.push_back(
        ExpressionBlockPair::pairWithRegularExpression(std::move(regularExpression), std::move(block)));
}

std::vector<ExpressionBlockPair> BaseParser::parsingPairs() const {
    std::lock_guard guard(lock_);
    return parsingPairs_;
}

styled_text_t BaseParser::attributedStringFromMarkdown(const QString& markdown) {
    return attributedStringFromMarkdown(markdown, defaultAttributes);
}

styled_text_t BaseParser::attributedStringFromMarkdown(const QString& markdown,
                                                       const std::optional<text_attributes_t>& attributes) {
    // The rules know one line ending.
    QString text = markdown;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return attributedStringFromAttributedMarkdownString(styled_text_t(text, attributes.value_or(text_attributes_t{})));
}

// Each rule is one pass that builds the next text from the unchanged stretches
// between matches and the edited matches, so a parse stays linear in the text.
// Actions edit only inside their match; the one character before the search
// position is kept as the edited text has it, for look-behind and line starts.
styled_text_t BaseParser::attributedStringFromAttributedMarkdownString(const styled_text_t& markdown) {
    std::lock_guard guard(lock_);
    styled_text_t current = markdown;
    // Patterns are matched without a UTF-16 check per call (it would make every
    // pass quadratic), and on a lone surrogate PCRE2 may match past the text.
    current.replace_lone_surrogates();
    for (const ExpressionBlockPair& rule : parsingPairs_) {
        QString work = current.text();
        rule.regularExpression->begin(work);
        std::optional<text_match_t> found = rule.regularExpression->match(work, 0);
        if (!found) continue;  // the text stays as it is
        styled_text_t next;
        next.reserve(current.length(), current.runs().size());
        styled_text_t::reader_t reader(current);
        qsizetype copied = 0;
        styled_text_t segment;  // one match at a time, its storage reused
        while (found) {
            const text_match_t::range_t whole = found->range();
            reader.copy(copied, whole.start - copied, next);
            segment.clear();
            segment.set_attributes_before(next.last_attributes());
            reader.copy(whole.start, whole.length, segment);
            for (auto& group : found->groups)
                if (group.start >= 0) group.start -= whole.start;
            rule.block(*found, segment);
            next.append(segment);
            copied = whole.end();
            if (whole.length == 0) {  // an empty match would be found again
                reader.copy(copied, 1, next);
                ++copied;
            } else {
                work[copied - 1] = next.length() > 0 ? next.text().back() : QChar(u'\n');
            }
            found = copied <= work.size() ? rule.regularExpression->match(work, copied) : std::nullopt;
        }
        reader.copy(copied, current.length() - copied, next);
        current = std::move(next);
    }
    return current;
}

}  // namespace zal::gui
