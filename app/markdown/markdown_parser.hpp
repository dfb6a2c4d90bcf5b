// SPDX-License-Identifier: MIT
#pragma once

// The markdown dialect of release notes: headers, lists, quotes, images, links,
// detected links, strong and emphasised text, code spans and escapes.

#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "app/markdown/base_parser.hpp"

namespace zal::gui {

class MarkdownParser : public BaseParser {
public:
    // Formatting blocks get the styled text, the range to format and, for lead
    // rules, the level.
    using level_block_t = std::function<void(styled_text_t& text, qsizetype start, qsizetype length, int level)>;
    using range_block_t = std::function<void(styled_text_t& text, qsizetype start, qsizetype length)>;
    using link_block_t =
        std::function<void(styled_text_t& text, qsizetype start, qsizetype length, const QString& link)>;

    MarkdownParser();

    // The standard rule set, in its order.
    static std::unique_ptr<MarkdownParser> standardParser();

    // Read by the rules when they run: changes take effect on the next parse.
    std::vector<text_attributes_t> headerAttributes;
    std::vector<text_attributes_t> listAttributes;
    std::vector<text_attributes_t> quoteAttributes;
    text_attributes_t imageAttributes;
    text_attributes_t linkAttributes;
    text_attributes_t monospaceAttributes;
    text_attributes_t strongAttributes;
    text_attributes_t emphasisAttributes;
    bool skipLinkAttribute = false;

    void addCodeEscapingParsing();
    void addEscapingParsing();
    void addHeaderParsingWithMaxLevel(int maxLevel, level_block_t leadFormat, level_block_t textFormattingBlock);
    void addListParsingWithMaxLevel(int maxLevel, level_block_t leadFormat, level_block_t textFormattingBlock);
    void addQuoteParsingWithMaxLevel(int maxLevel, level_block_t leadFormat, level_block_t textFormattingBlock);
    void addShortHeaderParsingWithMaxLevel(int maxLevel, level_block_t leadFormat, level_block_t textFormattingBlock);
    void addShortListParsingWithMaxLevel(int maxLevel, level_block_t leadFormat, level_block_t textFormattingBlock);
    void addShortQuoteParsingWithMaxLevel(int maxLevel, level_block_t leadFormat, level_block_t textFormattingBlock);
    void addLeadParsingWithPattern(const QString& pattern, int maxLevel, level_block_t leadFormat,
                                   level_block_t format);
    void addTargetedImageParsing(link_block_t format);
    void addImageParsing(range_block_t imageFormat, range_block_t alternativeTextFormat);
    void addTargetedLinkParsing(link_block_t format);
    void addLinkParsing(range_block_t format);
    void addTargetedLinkDetection(link_block_t format);
    void addLinkDetection(range_block_t format);
    void addStrongParsing(range_block_t format);
    void addEmphasisParsing(range_block_t format);
    void addMonospacedParsing(range_block_t format);
    void addEnclosedParsingWithPattern(const QString& pattern, range_block_t format);
    void addCodeUnescapingParsing(range_block_t format);
    void addUnescapingParsing();

    // Adds the set at `index` of the list (the last one beyond its end; nothing
    // for an empty list) to the range.
    static void addAttributes(const std::vector<text_attributes_t>& list, int index, styled_text_t& text,
                              qsizetype start, qsizetype length);
    // A link's text as the notes wrote it, once code spans and escapes within
    // it have been given back.
    static QString linkAsWritten(QStringView link);
    // The one UTF-16 code unit written as four hexadecimal digits at `index`.
    static QString stringWithHexaString(QStringView text, qsizetype index);

    // A URL for a link target, or an invalid one; only http, https and mailto
    // targets and ones without a scheme are given: release notes come from a
    // downloaded file, and a click must not start a program.
    static QUrl safeURL(const QString& link);
};

}  // namespace zal::gui
