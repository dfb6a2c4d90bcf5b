// SPDX-License-Identifier: MIT
#include "app/markdown/markdown_parser.hpp"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QUrlQuery>

#include <cmath>

#include "app/markdown/code_span_matcher.hpp"
#include "app/markdown/inline_scanners.hpp"
#include "app/markdown/link_detector.hpp"

namespace zal::gui {

namespace {

using QRE = QRegularExpression;

std::shared_ptr<const text_matcher_t> pattern(const QString& text, QRE::PatternOptions options = QRE::NoPatternOption) {
    return std::make_shared<regex_matcher_t>(icu_expression(text, options));
}

class link_detector_matcher_t final : public text_matcher_t {
public:
    std::optional<text_match_t> match(QStringView text, qsizetype from) const override {
        const std::optional<found_link_t> link = find_link(text, from);
        if (!link) return std::nullopt;
        return text_match_t{{{link->start, link->length}}};
    }
};

int base_size() {
    const QFont font = QApplication::font();
    const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
    return std::max(1, int(std::trunc(points)));
}

QFont system_font(int size, bool bold = false, bool italic = false) {
    QFont font = QApplication::font();
    font.setPointSize(size);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

int header_points(int designed, int body) { return std::max(1, int(std::lround(double(designed) * body / 13.0))); }

bool font_installed(const QString& family) { return QFontDatabase::families().contains(family, Qt::CaseInsensitive); }

text_attributes_t with_font(QFont font) {
    text_attributes_t attributes;
    attributes.font = std::move(font);
    return attributes;
}

// Each UTF-16 unit as four lower-case hexadecimal digits.
QString hex_of(QStringView text) {
    static constexpr char16_t digits[] = u"0123456789abcdef";
    QString hex(text.size() * 4, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(hex.data());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        *out++ = digits[u >> 12];
        *out++ = digits[(u >> 8) & 15];
        *out++ = digits[(u >> 4) & 15];
        *out++ = digits[u & 15];
    }
    return hex;
}

void add_link(styled_text_t& text, qsizetype start, qsizetype length, const QUrl& url) {
    text_attributes_t target;
    target.link = url;
    text.add_attributes(start, length, target);
}

// The image resources the notes may show by name.
std::optional<QImage> image_resource(const QString& name) {
    if (name.isEmpty() || name.contains(u'/')) return std::nullopt;
    const QString path = QStringLiteral(":/images/") + name;
    if (!QFile::exists(path)) return std::nullopt;
    QImage image(path);
    if (image.isNull()) return std::nullopt;
    return image;
}

}  // namespace

MarkdownParser::MarkdownParser() {
    const int size = base_size();
    defaultAttributes = with_font(system_font(size));
    // Header sizes keep their ratios to the body (23 to 13 points on the
    // platform they were drawn for), whatever the desktop's body size.
    for (int points : {23, 21, 19, 17, 15, 13})
        headerAttributes.push_back(with_font(system_font(header_points(points, size), true)));
    const QFont emphasis = system_font(size, false, true);
    QFont quote = emphasis;
    if (font_installed(QStringLiteral("Helvetica Neue"))) {
        quote = QFont(QStringLiteral("Helvetica Neue"), size);
        quote.setItalic(true);
    }
    quoteAttributes.push_back(with_font(quote));
    linkAttributes.foreground = QColor(Qt::blue);
    linkAttributes.underline = 1;
    // Without Courier, the desktop's own fixed-width font: never a proportional one.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(size);
    if (font_installed(QStringLiteral("Courier New")))
        mono = QFont(QStringLiteral("Courier New"), size);
    else if (font_installed(QStringLiteral("Courier")))
        mono = QFont(QStringLiteral("Courier"), size);
    monospaceAttributes.font = mono;
    monospaceAttributes.foreground = QColor::fromRgbF(0.95f, 0.54f, 0.55f, 1.0f);
    strongAttributes = with_font(system_font(size, true));
    emphasisAttributes = with_font(emphasis);
}

void MarkdownParser::addAttributes(const std::vector<text_attributes_t>& list, int index, styled_text_t& text,
                                   qsizetype start, qsizetype length) {
    if (list.empty()) return;
    const std::size_t i = index < 0 ? 0 : std::min<std::size_t>(std::size_t(index), list.size() - 1);
    text.add_attributes(start, length, list[i]);
}

QString MarkdownParser::stringWithHexaString(QStringView text, qsizetype index) {
    bool ok = false;
    const uint value = text.mid(index, 4).toString().toUInt(&ok, 16);
    return QString(QChar(char16_t(ok ? value : 0xFFFD)));
}

QString MarkdownParser::linkAsWritten(QStringView link) {
    // By the time links are read, code spans hold their text as hexadecimal
    // between their backticks and each escaped character is a backslash and
    // four hexadecimal digits: both are given back as written.
    const auto hex_run = [&link](qsizetype from, qsizetype count) {
        for (qsizetype i = from; i < from + count; ++i)
            if (i >= link.size() || !((link[i] >= u'0' && link[i] <= u'9') || (link[i] >= u'a' && link[i] <= u'f')))
                return false;
        return true;
    };
    QString written;
    for (qsizetype i = 0; i < link.size();) {
        if (link[i] == u'\\' && hex_run(i + 1, 4)) {
            written += stringWithHexaString(link, i + 1);
            i += 5;
            continue;
        }
        if (link[i] == u'`') {
            qsizetype ticks = 0;
            while (i + ticks < link.size() && link[i + ticks] == u'`') ++ticks;
            const QStringView fence = link.mid(i, ticks);
            const qsizetype close = link.indexOf(fence, i + ticks);
            const qsizetype length = close - i - ticks;
            if (close > 0 && length % 4 == 0 && hex_run(i + ticks, length)) {
                written += fence;
                for (qsizetype h = i + ticks; h < close; h += 4) written += stringWithHexaString(link, h);
                written += fence;
                i = close + ticks;
                continue;
            }
        }
        written += link[i++];
    }
    return written;
}

QUrl MarkdownParser::safeURL(const QString& link) {
    QUrl url(link, QUrl::StrictMode);
    if (!url.isValid()) url = QUrl(link, QUrl::TolerantMode);
    if (!url.isValid()) return {};
    const QString scheme = url.scheme().toLower();
    if (!scheme.isEmpty() && scheme != u"http" && scheme != u"https" && scheme != u"mailto") return {};
    if (scheme != u"mailto") return url;
    // A mail's address, subject and body; nothing a mail program would attach
    // or send elsewhere (attach=, cc, bcc, headers of its own).
    QUrl mail;
    mail.setScheme(QStringLiteral("mailto"));
    mail.setPath(url.path(QUrl::FullyEncoded), QUrl::TolerantMode);
    const QUrlQuery asked(url);
    QUrlQuery kept;
    for (const auto& [key, value] : asked.queryItems(QUrl::FullyEncoded))
        if (key.compare(u"subject", Qt::CaseInsensitive) == 0 || key.compare(u"body", Qt::CaseInsensitive) == 0)
            kept.addQueryItem(key, value);
    if (!kept.isEmpty()) mail.setQuery(kept);
    return mail;
}

std::unique_ptr<MarkdownParser> MarkdownParser::standardParser() {
    auto parser = std::make_unique<MarkdownParser>();
    // The rules are owned by the parser and reach its styles through this
    // pointer; they never outlive it.
    MarkdownParser* self = parser.get();
    parser->addCodeEscapingParsing();
    parser->addEscapingParsing();
    parser->addHeaderParsingWithMaxLevel(
        0, [](styled_text_t& text, qsizetype start, qsizetype length, int) { text.remove(start, length); },
        [self](styled_text_t& text, qsizetype start, qsizetype length, int level) {
            addAttributes(self->headerAttributes, level - 1, text, start, length);
        });
    parser->addListParsingWithMaxLevel(
        0,
        [](styled_text_t& text, qsizetype start, qsizetype length, int level) {
            text.replace(start, length, QString(level - 1, u'\t') + QStringLiteral("\u2022\t"));
        },
        [self](styled_text_t& text, qsizetype start, qsizetype length, int level) {
            addAttributes(self->listAttributes, level - 1, text, start, length);
        });
    parser->addQuoteParsingWithMaxLevel(
        0,
        [](styled_text_t& text, qsizetype start, qsizetype length, int level) {
            text.replace(start, length, QString(level, u'\t'));
        },
        [self](styled_text_t& text, qsizetype start, qsizetype length, int level) {
            addAttributes(self->quoteAttributes, level - 1, text, start, length);
        });
    parser->addTargetedImageParsing(
        [self](styled_text_t& text, qsizetype start, qsizetype length, const QString& link) {
            if (const std::optional<QImage> image = image_resource(link)) {
                text_attributes_t attachment;
                attachment.attachment = text_attachment_t{*image, QRectF(0, -5, image->width(), image->height())};
                text.replace(start, length, QString(QChar(attachment_character)));
                text.add_attributes(start, 1, attachment);
                return;
            }
            if (!self->skipLinkAttribute) {
                const QUrl url = safeURL(linkAsWritten(link));
                if (url.isValid() && !url.scheme().isEmpty()) {
                    add_link(text, start, length, url);
                }
            }
            text.add_attributes(start, length, self->imageAttributes);
        });
    parser->addTargetedLinkParsing([self](styled_text_t& text, qsizetype start, qsizetype length, const QString& link) {
        if (!self->skipLinkAttribute) {
            const QUrl url = safeURL(linkAsWritten(link));
            if (url.isValid()) {
                add_link(text, start, length, url);
            }
        }
        text.add_attributes(start, length, self->linkAttributes);
    });
    parser->addTargetedLinkDetection(
        [self](styled_text_t& text, qsizetype start, qsizetype length, const QString& link) {
            if (self->skipLinkAttribute) {
                text.add_attributes(start, length, self->linkAttributes);
                return;
            }
            if (text.has_link(start, length)) return;  // a markdown link keeps its look
            const QString written = linkAsWritten(link);
            const QUrl url = safeURL(written.contains(u'@') ? QStringLiteral("mailto:") + written : written);
            if (url.isValid()) {
                add_link(text, start, length, url);
            }
            text.add_attributes(start, length, self->linkAttributes);
        });
    parser->addStrongParsing([self](styled_text_t& text, qsizetype start, qsizetype length) {
        text.add_attributes(start, length, self->strongAttributes);
    });
    parser->addEmphasisParsing([self](styled_text_t& text, qsizetype start, qsizetype length) {
        text.add_attributes(start, length, self->emphasisAttributes);
    });
    parser->addCodeUnescapingParsing([self](styled_text_t& text, qsizetype start, qsizetype length) {
        text.add_attributes(start, length, self->monospaceAttributes);
    });
    parser->addUnescapingParsing();
    return parser;
}

void MarkdownParser::addCodeEscapingParsing() {
    addParsingRuleWithRegularExpression(
        std::make_shared<code_span_matcher_t>(true), [](const text_match_t& m, styled_text_t& text) {
            const auto content = m.range(2);
            text.replace(content.start, content.length,
                         hex_of(QStringView(text.text()).mid(content.start, content.length)));
        });
}

void MarkdownParser::addEscapingParsing() {
    addParsingRuleWithRegularExpression(std::make_shared<escape_matcher_t>(),
                                        [](const text_match_t& m, styled_text_t& text) {
                                            const qsizetype at = m.range().start + 1;
                                            text.replace(at, 1, hex_of(QStringView(text.text()).mid(at, 1)));
                                        });
}

void MarkdownParser::addLeadParsingWithPattern(const QString& lead_pattern, int maxLevel, level_block_t leadFormat,
                                               level_block_t format) {
    const QString level = maxLevel == 0 ? QString() : QString::number(maxLevel);
    const QString text = lead_pattern.arg(level);
    addParsingRuleWithRegularExpression(
        pattern(text, QRE::MultilineOption),
        [leadFormat = std::move(leadFormat), format = std::move(format)](const text_match_t& m, styled_text_t& styled) {
            const int lvl = int(m.range(1).length);
            const auto content = m.range(2);
            if (format) format(styled, content.start, content.length, lvl);
            if (leadFormat) leadFormat(styled, m.range(1).start, content.start - m.range(1).start, lvl);
        });
}

void MarkdownParser::addHeaderParsingWithMaxLevel(int maxLevel, level_block_t lead, level_block_t text) {
    addLeadParsingWithPattern(QStringLiteral(R"(^(#{1,%1})\s+(.+)$)"), maxLevel, std::move(lead), std::move(text));
}

void MarkdownParser::addListParsingWithMaxLevel(int maxLevel, level_block_t lead, level_block_t text) {
    addLeadParsingWithPattern(QStringLiteral(R"(^([\*\+\-]{1,%1})\s+(.+)$)"), maxLevel, std::move(lead),
                              std::move(text));
}

void MarkdownParser::addQuoteParsingWithMaxLevel(int maxLevel, level_block_t lead, level_block_t text) {
    addLeadParsingWithPattern(QStringLiteral(R"(^(\>{1,%1})\s+(.+)$)"), maxLevel, std::move(lead), std::move(text));
}

void MarkdownParser::addShortHeaderParsingWithMaxLevel(int maxLevel, level_block_t lead, level_block_t text) {
    addLeadParsingWithPattern(QStringLiteral(R"(^(#{1,%1})\s*([^#].*)$)"), maxLevel, std::move(lead), std::move(text));
}

void MarkdownParser::addShortListParsingWithMaxLevel(int maxLevel, level_block_t lead, level_block_t text) {
    addLeadParsingWithPattern(QStringLiteral(R"(^([\*\+\-]{1,%1})\s*([^\*\+\-].*)$)"), maxLevel, std::move(lead),
                              std::move(text));
}

void MarkdownParser::addShortQuoteParsingWithMaxLevel(int maxLevel, level_block_t lead, level_block_t text) {
    addLeadParsingWithPattern(QStringLiteral(R"(^(\>{1,%1})\s*([^\>].*)$)"), maxLevel, std::move(lead),
                              std::move(text));
}

namespace {

// The markup of images and links: the link lies between a parenthesis and the final ')';
// the markup is deleted from the ']' on, then the leading bracket(s).
struct bracket_link_t {
    qsizetype text_start, text_length;
    QString link;
};

bracket_link_t strip_bracket_link(const text_match_t& m, styled_text_t& text, qsizetype lead, bool last_parenthesis) {
    const auto whole = m.range();
    const QStringView markup = QStringView(text.text()).mid(whole.start, whole.length);
    const qsizetype open = last_parenthesis ? markup.lastIndexOf(u'(') : markup.indexOf(u'(');
    // The pattern's lazy text part ends at the first "](".
    const qsizetype close_bracket = markup.indexOf(u"](");
    const QString link = markup.mid(open + 1, markup.size() - open - 2).toString();
    text.remove(whole.start + close_bracket, whole.length - close_bracket);
    text.remove(whole.start, lead);
    return {whole.start, close_bracket - lead, link};
}

}  // namespace

void MarkdownParser::addTargetedImageParsing(link_block_t format) {
    addParsingRuleWithRegularExpression(
        pattern(QStringLiteral(R"(\!\[[^\[]*?\]\(\S*\))"), QRE::DotMatchesEverythingOption),
        [format = std::move(format)](const text_match_t& m, styled_text_t& text) {
            const bracket_link_t l = strip_bracket_link(m, text, 2, false);
            if (format) format(text, l.text_start, l.text_length, l.link);
        });
}

void MarkdownParser::addImageParsing(range_block_t imageFormat, range_block_t alternativeTextFormat) {
    addTargetedImageParsing([imageFormat = std::move(imageFormat), alternative = std::move(alternativeTextFormat)](
                                styled_text_t& text, qsizetype start, qsizetype length, const QString& link) {
        if (const std::optional<QImage> image = image_resource(link)) {
            if (imageFormat) imageFormat(text, start, length);
        } else if (alternative) {
            alternative(text, start, length);
        }
    });
}

void MarkdownParser::addTargetedLinkParsing(link_block_t format) {
    addParsingRuleWithRegularExpression(
        pattern(QStringLiteral(R"(\[[^\[]*?\]\([^\)]*\))"), QRE::DotMatchesEverythingOption),
        [format = std::move(format)](const text_match_t& m, styled_text_t& text) {
            const bracket_link_t l = strip_bracket_link(m, text, 1, true);
            if (format) format(text, l.text_start, l.text_length, l.link);
        });
}

void MarkdownParser::addLinkParsing(range_block_t format) {
    addTargetedLinkParsing(
        [format = std::move(format)](styled_text_t& text, qsizetype start, qsizetype length, const QString&) {
            if (format) format(text, start, length);
        });
}

void MarkdownParser::addTargetedLinkDetection(link_block_t format) {
    addParsingRuleWithRegularExpression(std::make_shared<link_detector_matcher_t>(),
                                        [format = std::move(format)](const text_match_t& m, styled_text_t& text) {
                                            const auto r = m.range();
                                            if (format)
                                                format(text, r.start, r.length, text.text().mid(r.start, r.length));
                                        });
}

void MarkdownParser::addLinkDetection(range_block_t format) {
    addTargetedLinkDetection(
        [format = std::move(format)](styled_text_t& text, qsizetype start, qsizetype length, const QString&) {
            if (format) format(text, start, length);
        });
}

namespace {

rule_block_t enclosed_rule(MarkdownParser::range_block_t format) {
    return [format = std::move(format)](const text_match_t& m, styled_text_t& text) {
        text.remove(m.range(3).start, m.range(3).length);
        if (format) format(text, m.range(2).start, m.range(2).length);
        text.remove(m.range(1).start, m.range(1).length);
    };
}

}  // namespace

void MarkdownParser::addEnclosedParsingWithPattern(const QString& enclosed_pattern, range_block_t format) {
    addParsingRuleWithRegularExpression(pattern(enclosed_pattern), enclosed_rule(std::move(format)));
}

// As `(\*\*|__)(.+?)(\1)`.
void MarkdownParser::addStrongParsing(range_block_t format) {
    addParsingRuleWithRegularExpression(
        std::make_shared<enclosed_matcher_t>(std::vector<QString>{QStringLiteral("**"), QStringLiteral("__")}),
        enclosed_rule(std::move(format)));
}

// As `(\*|_)(.+?)(\1)`.
void MarkdownParser::addEmphasisParsing(range_block_t format) {
    addParsingRuleWithRegularExpression(
        std::make_shared<enclosed_matcher_t>(std::vector<QString>{QStringLiteral("*"), QStringLiteral("_")}),
        enclosed_rule(std::move(format)));
}

void MarkdownParser::addMonospacedParsing(range_block_t format) {
    addEnclosedParsingWithPattern(QStringLiteral(R"((`+)(\s*.*?[^`]\s*)(\1)(?!`))"), std::move(format));
}

void MarkdownParser::addCodeUnescapingParsing(range_block_t format) {
    addParsingRuleWithRegularExpression(std::make_shared<code_span_matcher_t>(false),
                                        [format = std::move(format)](const text_match_t& m, styled_text_t& text) {
                                            const auto content = m.range(2);
                                            const QStringView hex =
                                                QStringView(text.text()).mid(content.start, content.length);
                                            // A backslash in code stays escaped, so that the last rule, which
                                            // unescapes the rest of the text, gives it back as it was.
                                            QString decoded;
                                            for (qsizetype i = 0; i + 4 <= hex.size(); i += 4) {
                                                const QString c = stringWithHexaString(hex, i);
                                                decoded += c == u"\\" ? QStringLiteral("\\005c") : c;
                                            }
                                            text.remove(m.range(3).start, m.range(3).length);
                                            text.replace(content.start, content.length, decoded);
                                            if (format) format(text, content.start, decoded.size());
                                            text.remove(m.range(1).start, m.range(1).length);
                                        });
}

void MarkdownParser::addUnescapingParsing() {
    addParsingRuleWithRegularExpression(
        std::make_shared<hex_escape_matcher_t>(), [](const text_match_t& m, styled_text_t& text) {
            const auto r = m.range();
            text.replace(r.start, r.length, stringWithHexaString(text.text(), r.start + 1));
        });
}

}  // namespace zal::gui
