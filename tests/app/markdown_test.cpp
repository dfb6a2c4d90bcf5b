// SPDX-License-Identifier: MIT
// The release-notes renderer: the markdown rules, the ICU behaviour of their
// patterns on PCRE2, the link detector, link safety and the final document.
#include <QApplication>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

#include "app/markdown/code_span_matcher.hpp"
#include "app/markdown/inline_scanners.hpp"
#include "app/markdown/link_detector.hpp"

#include <cmath>
#include <random>
#include "app/markdown/markdown_parser.hpp"
#include "app/markdown/text_document.hpp"

using namespace zal::gui;

namespace {

struct rendered_t {
    styled_text_t styled;
    QString text() const { return styled.text(); }
    const text_attributes_t& at(const QString& needle, qsizetype offset = 0) const {
        const qsizetype i = styled.text().indexOf(needle);
        if (i < 0) qFatal("'%s' is not in the rendered text", qPrintable(needle));
        return styled.attributes_at(i + offset);
    }
};

rendered_t render(const QString& markdown) {
    static std::unique_ptr<MarkdownParser> parser = MarkdownParser::standardParser();
    return {parser->attributedStringFromMarkdown(markdown)};
}

int base_size() { return MarkdownParser().defaultAttributes->font->pointSize(); }

// A header's size for the size it was drawn at (13 points of body).
int header(int designed) { return std::max(1, int(std::lround(double(designed) * base_size() / 13.0))); }

int points(const text_attributes_t& a) { return a.font ? a.font->pointSize() : -1; }
bool bold(const text_attributes_t& a) { return a.font && a.font->bold(); }
bool italic(const text_attributes_t& a) { return a.font && a.font->italic(); }
QString target(const text_attributes_t& a) { return a.link ? a.link->toString() : QString(); }

}  // namespace

class MarkdownTest : public QObject {
    Q_OBJECT

private slots:
    // The code-span scanner finds what ICU's pattern finds (PCRE2 agrees with
    // ICU on it while the input is too short to reach PCRE2's limits).
    void codeSpanScannerMatchesThePattern() {
        const QString pattern = QStringLiteral(R"((?<!\\)(?:\\\\)*+(`+)(.*?[^`].*?)(\1)(?!`))");
        std::mt19937 random(7);
        const char16_t alphabet[] = {u'`', u'`', u'\\', u'a', u'\n', u' '};
        for (const bool dot_all : {true, false}) {
            const regex_matcher_t regex(icu_expression(pattern, dot_all ? QRegularExpression::DotMatchesEverythingOption
                                                                        : QRegularExpression::NoPatternOption));
            const code_span_matcher_t scanner(dot_all);
            for (int round = 0; round < 3000; ++round) {
                QString text;
                const int length = int(random() % 24);
                for (int i = 0; i < length; ++i) text += QChar(alphabet[random() % std::size(alphabet)]);
                scanner.begin(text);
                for (qsizetype from = 0; from <= text.size(); ++from) {
                    const auto expected = regex.match(text, from);
                    const auto found = scanner.match(text, from);
                    QVERIFY2(expected.has_value() == found.has_value(),
                             qPrintable(QStringLiteral("%1 from %2 (dot all %5): pattern %3, scanner %4")
                                            .arg(QString(text).replace(u'\n', QStringLiteral("\\n")))
                                            .arg(from)
                                            .arg(expected ? expected->range().start : -1)
                                            .arg(found ? found->range().start : -1)
                                            .arg(dot_all)));
                    if (!expected) continue;
                    for (std::size_t g = 0; g < 4; ++g) {
                        QVERIFY2(expected->range(g).start == found->range(g).start, qPrintable(text));
                        QVERIFY2(expected->range(g).length == found->range(g).length, qPrintable(text));
                    }
                }
            }
        }
    }

    // The scanners of escapes, strong and emphasised text find what their
    // patterns find, on texts made of the characters that matter to them.
    void scannersMatchTheirPatterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("dotAll");
        QTest::addColumn<QString>("alphabet");
        QTest::addColumn<int>("scanner");
        // Line terminators, a surrogate pair and letters a hex escape may not hold.
        const QString lines = QStringLiteral("\n\u2028\u0085\u000B");
        const QString pair = QStringLiteral("\U0001F600");
        QTest::newRow("escape") << R"(\\.)" << true << QStringLiteral("\\\\a") + lines + pair << 0;
        QTest::newRow("hex escape") << R"(\\[0-9a-z]{4})" << true << QStringLiteral("\\\\09azZ_") + lines << 1;
        QTest::newRow("strong") << R"((\*\*|__)(.+?)(\1))" << false << QStringLiteral("***__a ") + lines + pair << 2;
        QTest::newRow("emphasis") << R"((\*|_)(.+?)(\1))" << false << QStringLiteral("**__a ") + lines + pair << 3;
    }

    void scannersMatchTheirPatterns() {
        QFETCH(QString, pattern);
        QFETCH(bool, dotAll);
        QFETCH(QString, alphabet);
        QFETCH(int, scanner);
        const regex_matcher_t regex(icu_expression(
            pattern, dotAll ? QRegularExpression::DotMatchesEverythingOption : QRegularExpression::NoPatternOption));
        const std::unique_ptr<text_matcher_t> matchers[] = {
            std::make_unique<escape_matcher_t>(),
            std::make_unique<hex_escape_matcher_t>(),
            std::make_unique<enclosed_matcher_t>(std::vector<QString>{QStringLiteral("**"), QStringLiteral("__")}),
            std::make_unique<enclosed_matcher_t>(std::vector<QString>{QStringLiteral("*"), QStringLiteral("_")}),
        };
        const text_matcher_t& tested = *matchers[scanner];
        // Whole characters: a surrogate pair is drawn as one.
        std::vector<QString> characters;
        for (qsizetype i = 0; i < alphabet.size(); ++i)
            characters.push_back(alphabet[i].isHighSurrogate() ? alphabet.mid(i++, 2) : alphabet.mid(i, 1));
        std::mt19937 random(11);
        for (int round = 0; round < 3000; ++round) {
            QString text;
            const int length = int(random() % 20);
            for (int i = 0; i < length; ++i) text += characters[random() % characters.size()];
            for (qsizetype from = 0; from <= text.size(); ++from) {
                const auto expected = regex.match(text, from);
                const auto found = tested.match(text, from);
                const QString where = QStringLiteral("%1 from %2").arg(text).arg(from);
                QVERIFY2(expected.has_value() == found.has_value(), qPrintable(where));
                if (!expected) continue;
                QCOMPARE(found->groups.size(), expected->groups.size());
                for (std::size_t g = 0; g < expected->groups.size(); ++g) {
                    QVERIFY2(expected->range(g).start == found->range(g).start, qPrintable(where));
                    QVERIFY2(expected->range(g).length == found->range(g).length, qPrintable(where));
                }
            }
        }
    }

    // A caller's QString may hold unpaired surrogates, which the pattern engine
    // must never see: on "*\xD800" it gave a match that ended past the text,
    // and the parser wrote one character beyond it.
    void loneSurrogatesBecomeReplacementCharacters() {
        const QString high(QChar(0xD800)), low(QChar(0xDC00)), pair = QString::fromUcs4(U"\U0001F600", 1);
        QCOMPARE(render(u'*' + high).text(), QStringLiteral("*\uFFFD"));
        QCOMPARE(render(low + QStringLiteral("# a") + high + pair).text(), QStringLiteral("\uFFFD# a\uFFFD") + pair);
    }

    // Where PCRE2 gives up (an opening run of two with no closing one and some
    // 4,500 characters after it), ICU pairs a single backtick, and so do we; the
    // rule goes on to the spans after it.
    void longCodeSpans() {
        const QString inner(6000, u'a');
        const auto r = render(QStringLiteral("``") + inner + QStringLiteral("` then `x`"));
        QCOMPARE(r.text(), QStringLiteral("`") + inner + QStringLiteral(" then x"));
        QVERIFY(r.at(inner.left(10)).foreground.has_value());
        QVERIFY(r.at(QStringLiteral("x")).foreground.has_value());
        QVERIFY(!r.at(QStringLiteral(" then")).foreground.has_value());
    }

    // ICU's \s is Unicode's White_Space, without U+180E.
    void mongolianVowelSeparatorIsNoSpace() {
        QCOMPARE(render(QStringLiteral("#\u180eTitle")).text(), QStringLiteral("#\u180eTitle"));
        QCOMPARE(render(QStringLiteral("-\u180eitem")).text(), QStringLiteral("-\u180eitem"));
        QCOMPARE(render(QStringLiteral("#\u3000Title")).text(), QStringLiteral("Title"));
    }

    // A rule that empties its match and inserts new text (an image whose
    // alternative text is empty) gives it the attributes of the character before.
    void insertionIntoAnEmptiedMatchTakesTheAttributesBefore() {
        BaseParser parser;
        parser.addParsingRuleWithRegularExpression(
            std::make_shared<regex_matcher_t>(icu_expression(QStringLiteral("X"), {})),
            [](const text_match_t&, styled_text_t& text) {
                text.remove(0, 1);
                text.replace(0, 0, QStringLiteral("Y"));
            });
        text_attributes_t bold;
        bold.font = QFont(QStringLiteral("Sans"), 17);
        const styled_text_t result = parser.attributedStringFromMarkdown(QStringLiteral("aXb"), bold);
        QCOMPARE(result.text(), QStringLiteral("aYb"));
        QVERIFY(result.attributes_at(1).font.has_value());
        QCOMPARE(result.attributes_at(1).font->pointSize(), 17);
    }

    // Headers keep the ratio they were drawn with to the body (23 to 13), and
    // code is set in a fixed-width font whatever fonts the desktop has.
    void typographyFollowsTheBodyFont() {
        const auto r = render(QStringLiteral("# Title\nSome `code` here"));
        const double ratio = double(points(r.at("Title"))) / base_size();
        QVERIFY2(std::abs(ratio - 23.0 / 13.0) < 0.15, qPrintable(QString::number(ratio)));
        // What a reader sees, not what the font declares: some monospace
        // fonts (Noto Sans Mono) claim no fixed spacing.
        const QFontMetricsF code(*r.at("code").font);
        QCOMPARE(code.horizontalAdvance(QLatin1Char('i')), code.horizontalAdvance(QLatin1Char('W')));
        QCOMPARE(code.horizontalAdvance(QLatin1Char('M')), code.horizontalAdvance(QLatin1Char('W')));
    }

    // Code reaches the result literally, backslashes and all.
    void codeKeepsItsBackslashes() {
        QCOMPARE(render(QStringLiteral("Open `C:\\users\\x` now")).text(), QStringLiteral("Open C:\\users\\x now"));
        QCOMPARE(render(QStringLiteral("`\\0041`")).text(), QStringLiteral("\\0041"));
    }

    void headers() {
        const auto r = render("# Title\n####### Deep\n#Title");
        QCOMPARE(r.text(), QStringLiteral("Title\nDeep\n#Title"));
        QCOMPARE(points(r.at("Title")), header(23));
        QVERIFY(bold(r.at("Title")));
        QCOMPARE(points(r.at("Deep")), header(13));
        QCOMPARE(points(r.at("#Title")), base_size());
    }

    // ICU's \s matches a line end too, so a lone '#' heads the next line.
    void headerMarkerAloneOnItsLine() {
        const auto r = render("#\nNext line");
        QCOMPARE(r.text(), QStringLiteral("Next line"));
        QCOMPARE(points(r.at("Next")), header(23));
    }

    void listsAndQuotes() {
        const auto r = render("- item\n-- inner\n> quoted");
        QCOMPARE(r.text(), QStringLiteral("\u2022\titem\n\t\u2022\tinner\n\tquoted"));
        QVERIFY(italic(r.at("quoted")));
        QCOMPARE(points(r.at("quoted")), base_size());
    }

    void laterFontReplacesHeaderFont() {
        const auto r = render("# Title with **bold**");
        QCOMPARE(r.text(), QStringLiteral("Title with bold"));
        QCOMPARE(points(r.at("bold")), base_size());
        QVERIFY(bold(r.at("bold")));
        QCOMPARE(points(r.at("Title")), header(23));
    }

    void markdownLinksAndDetectedLinks() {
        const auto r = render(
            "Visit [site](https://ventaro.example/news) or https://ventaro.example/help, "
            "www.ventaro.example or write to help@ventaro.example.");
        QCOMPARE(r.text(), QStringLiteral("Visit site or https://ventaro.example/help, www.ventaro.example or write to "
                                          "help@ventaro.example."));
        const text_attributes_t& site = r.at("site");
        QCOMPARE(target(site), QStringLiteral("https://ventaro.example/news"));
        QCOMPARE(*site.foreground, QColor(Qt::blue));
        QCOMPARE(*site.underline, 1);
        QCOMPARE(target(r.at("https://ventaro.example/help")), QStringLiteral("https://ventaro.example/help"));
        QVERIFY(!r.at(", www").link);  // trailing punctuation is not part of a link
        QCOMPARE(target(r.at("www.ventaro")), QStringLiteral("www.ventaro.example"));
        QCOMPARE(target(r.at("help@")), QStringLiteral("mailto:help@ventaro.example"));
        QVERIFY(!r.at("ventaro.example.", 15).link);
    }

    // Release notes come from a downloaded file: no target may start a program.
    void unsafeTargetsKeepTheirLookButNoTarget() {
        const auto r = render(
            "Links: [a](file:///etc/passwd) [b](javascript:void) [c](vnc://host) ftp://files.example/x "
            "[d](http://ok.example) [e](notes.html)");
        for (const char* text : {"a", "b", "c", "ftp"}) {
            const text_attributes_t& a = r.at(QString::fromLatin1(" ") + text, 1);
            QVERIFY2(!a.link, text);
            QCOMPARE(*a.foreground, QColor(Qt::blue));
        }
        QCOMPARE(target(r.at(" d", 1)), QStringLiteral("http://ok.example"));
        QCOMPARE(target(r.at(" e", 1)), QStringLiteral("notes.html"));
        QCOMPARE(MarkdownParser::safeURL("MAILTO:x@y.example").scheme(), QStringLiteral("mailto"));
        // A mail carries its address, subject and body, and nothing to attach or send elsewhere.
        const auto mail = render(
            "[a](mailto:help@ventaro.example?subject=Ruvo%20help&attach=/etc/passwd"
            "&cc=x@evil.example&body=Hello) [b](mailto:help@ventaro.example?attach=~/.ssh/id_rsa)");
        QCOMPARE(mail.at("a").link->toString(QUrl::FullyEncoded),
                 QStringLiteral("mailto:help@ventaro.example?subject=Ruvo%20help&body=Hello"));
        QCOMPARE(target(mail.at(" b", 1)), QStringLiteral("mailto:help@ventaro.example"));
    }

    // A link is the address as written, code spans and escapes in it included.
    void linksAreAsWritten_data() {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("url");
        QTest::newRow("backticks") << "[x](https://ventaro.example/`id`)"
                                   << "https://ventaro.example/%60id%60";
        QTest::newRow("two backticks") << "[x](https://ventaro.example/``a`b``)"
                                       << "https://ventaro.example/%60%60a%60b%60%60";
        QTest::newRow("escape") << "[x](https://ventaro.example/a\\_b)"
                                << "https://ventaro.example/a_b";
        QTest::newRow("hex-like path") << "[x](https://ventaro.example/0069)"
                                       << "https://ventaro.example/0069";
        QTest::newRow("bare") << "see https://ventaro.example/`id` now"
                              << "https://ventaro.example/%60id%60";
    }
    void linksAreAsWritten() {
        QFETCH(QString, notes);
        QFETCH(QString, url);
        const auto r = render(notes);
        const text_attributes_t& link = r.at(notes.startsWith(u'[') ? QStringLiteral("x") : QStringLiteral("https"));
        QVERIFY(link.link);
        QCOMPARE(link.link->toString(QUrl::FullyEncoded), url);
    }

    void escapesAndCode() {
        const auto r = render("\\*not emphasis\\* and `**x**` and *yes*");
        QCOMPARE(r.text(), QStringLiteral("*not emphasis* and **x** and yes"));
        QVERIFY(!italic(r.at("not")));
        const text_attributes_t& code = r.at("**x**");
        QCOMPARE(*code.foreground, QColor::fromRgbF(0.95f, 0.54f, 0.55f, 1.0f));
        QVERIFY(italic(r.at("yes")));
    }

    // Possessive quantifier, look-behind and back-reference of the code pattern.
    void codeSpansAfterBackslashes() {
        QCOMPARE(render("\\`not code`").text(), QStringLiteral("`not code`"));
        QCOMPARE(render("\\\\`code`").text(), QStringLiteral("\\code"));
        QCOMPARE(render("``a`b``").text(), QStringLiteral("a`b"));
        QCOMPARE(render("`\\*`").text(), QStringLiteral("\\*"));
    }

    void imagesWithoutResources() {
        const auto r = render("![logo](missing-image) ![shot](https://ventaro.example/a.png)");
        QCOMPARE(r.text(), QStringLiteral("logo shot"));
        QVERIFY(!r.at("logo").link);
        QCOMPARE(target(r.at("shot")), QStringLiteral("https://ventaro.example/a.png"));
    }

    void plainTextStaysAsItIs() {
        const QString plain = QStringLiteral("Plain text: nothing to see, 3 < 4 and 2 > 1.\nSecond line.");
        const auto r = render(plain);
        QCOMPARE(r.text(), plain);
        QCOMPARE(r.styled.runs().size(), std::size_t(1));
        QCOMPARE(points(r.at("Plain")), base_size());
    }

    // Differences between ICU and PCRE2 that the options make up for.
    void patternsMatchAsIcuDoes() {
        // '^' never matches at a search offset that is not a line start.
        const QRegularExpression header = icu_expression(R"(^(#{1,})\s+(.+)$)", QRegularExpression::MultilineOption);
        QVERIFY(!match_view(header, u"a # b", 2).hasMatch());
        QVERIFY(match_view(header, u"a\n# b", 2).hasMatch());
        // ICU's \s is Unicode: a no-break space separates the marker.
        QCOMPARE(render(QStringLiteral("#\u00A0Title")).text(), QStringLiteral("Title"));
        // ICU's line endings include U+2028 and NEL for ^ and $.
        QCOMPARE(render(QStringLiteral("# A\u2028# B")).text(), QStringLiteral("A\u2028B"));
        // A carriage return ends a line like a line feed.
        QCOMPARE(render(QStringLiteral("# A\r\n- b\r> c")).text(), QStringLiteral("A\n\u2022\tb\n\tc"));
        // Look-behind sees the text before the search offset.
        const QRegularExpression code = icu_expression(R"((?<!\\)(?:\\\\)*+(`+)(.*?[^`].*?)(\1)(?!`))",
                                                       QRegularExpression::DotMatchesEverythingOption);
        const auto m = match_view(code, u"\\`x` `y`", 1);
        QVERIFY(m.hasMatch());
        QCOMPARE(m.capturedStart(0), 3);  // not 1: the backslash before the offset escapes that backtick
    }

    void stylesAreReadWhenRulesRun() {
        auto parser = MarkdownParser::standardParser();
        text_attributes_t huge;
        huge.font = QFont(QApplication::font().family(), 40);
        parser->headerAttributes = {huge};
        const styled_text_t r = parser->attributedStringFromMarkdown("## Two");
        QCOMPARE(r.attributes_at(0).font->pointSize(), 40);  // beyond the list: its last set
        parser->skipLinkAttribute = true;
        const styled_text_t s = parser->attributedStringFromMarkdown("[x](https://a.example)");
        QVERIFY(!s.attributes_at(0).link);
        QVERIFY(s.attributes_at(0).foreground);
    }

    void linkDetectorBoundaries() {
        auto found = [](const QString& text) {
            const auto l = find_link(text, 0);
            return l ? text.mid(l->start, l->length) : QString();
        };
        QCOMPARE(found("see https://en.example.org/wiki/Foo_(bar) now"),
                 QStringLiteral("https://en.example.org/wiki/Foo_(bar)"));
        QCOMPARE(found("(www.ventaro.example)"), QStringLiteral("www.ventaro.example"));
        QCOMPARE(found("visit ventaro.example today"), QString());  // bare domains are not links
        QCOMPARE(found("x https://a.example/?q=1&amp; y"), QStringLiteral("https://a.example/?q=1"));
        QCOMPARE(found("mail a.b-c+d@mail.ventaro.example."), QStringLiteral("a.b-c+d@mail.ventaro.example"));
        QCOMPARE(found("no@host"), QString());
        QCOMPARE(found("word:https://a.example"), QString());  // not after white space
        QCOMPARE(found("*https://a.example*"), QStringLiteral("https://a.example"));
    }

    void realisticNotesInEnglishAndFrench() {
        const QString en = QStringLiteral(
            "# Ventaro 2.1\r\n\r\n"
            "This update brings **smoother aftertouch** and *faster* start-up.\r\n\r\n"
            "## What is new\r\n"
            "- Velocity curves per key\r\n"
            "-- Soft and hard presets\r\n"
            "- The `Panic` button silences every voice\r\n\r\n"
            "> Back up your presets before updating.\r\n\r\n"
            "Read the [manual](https://ventaro.example/manual) or write to support@ventaro.example.\r\n"
            "Prices shown as 5\\*2 stay literal.");
        const auto r = render(en);
        QCOMPARE(r.text(),
                 QStringLiteral(
                     "Ventaro 2.1\n\nThis update brings smoother aftertouch and faster start-up.\n\n"
                     "What is new\n\u2022\tVelocity curves per key\n\t\u2022\tSoft and hard presets\n"
                     "\u2022\tThe Panic button silences every voice\n\n\tBack up your presets before updating.\n\n"
                     "Read the manual or write to support@ventaro.example.\nPrices shown as 5*2 stay literal."));
        QCOMPARE(points(r.at("Ventaro 2.1")), header(23));
        QCOMPARE(points(r.at("What is new")), header(21));
        QVERIFY(bold(r.at("smoother")));
        QVERIFY(italic(r.at("faster")));
        QVERIFY(r.at("Panic").foreground);
        QVERIFY(italic(r.at("Back up")));
        QCOMPARE(target(r.at("manual")), QStringLiteral("https://ventaro.example/manual"));
        QCOMPARE(target(r.at("support@")), QStringLiteral("mailto:support@ventaro.example"));
        QVERIFY(!italic(r.at("5*2")));

        const QString fr = QStringLiteral(
            "# Ventaro 2.1\n"
            "Cette mise à jour apporte un **aftertouch plus doux** et un démarrage *plus rapide*.\n"
            "## Nouveautés\n"
            "- Courbes de vélocité par touche\n"
            "> Sauvegardez vos préréglages avant la mise à jour.\n"
            "Consultez le [manuel](https://ventaro.example/fr/manuel) ou écrivez à assistance@ventaro.example — "
            "le bouton `Panic` coupe toutes les voix.");
        const auto f = render(fr);
        QVERIFY(f.text().startsWith(QStringLiteral("Ventaro 2.1\nCette mise à jour apporte un aftertouch plus doux")));
        QVERIFY(bold(f.at("aftertouch plus doux")));
        QVERIFY(italic(f.at("plus rapide")));
        QCOMPARE(points(f.at("Nouveautés")), header(21));
        QVERIFY(f.text().contains(QStringLiteral("\u2022\tCourbes de vélocité")));
        QCOMPARE(target(f.at("manuel")), QStringLiteral("https://ventaro.example/fr/manuel"));
        QCOMPARE(target(f.at("assistance@")), QStringLiteral("mailto:assistance@ventaro.example"));
        QVERIFY(f.at("Panic").foreground);
    }

    // An image inside a link stays clickable in the document.
    void linkedImageKeepsItsLink() {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::red);
        text_attributes_t attributes;
        attributes.attachment = text_attachment_t{image, QRectF(0, 0, 4, 4)};
        attributes.link = QUrl(QStringLiteral("https://e.org"));
        styled_text_t text(QStringLiteral("a "));
        text.append(styled_text_t(QString(QChar(attachment_character)), attributes));
        QTextDocument document;
        fill_document(document, text);
        QTextCursor cursor(&document);
        cursor.setPosition(3);  // after the image
        QVERIFY(cursor.charFormat().isImageFormat());
        QCOMPARE(cursor.charFormat().anchorHref(), QStringLiteral("https://e.org"));
    }

    // Long notes reach the view in slices: whatever their size, the slices
    // make the same document, formats and images included.
    void slicesMakeTheSameDocument() {
        QString markdown;
        for (int i = 0; i < 60; ++i)
            markdown +=
                QStringLiteral("# Head %1\nSee [site](https://ventaro.example/%1) and **bold** `code`\n\n").arg(i);
        styled_text_t text = render(markdown).styled;
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::red);
        text_attributes_t pictured;
        pictured.attachment = text_attachment_t{image, QRectF(0, 0, 4, 4)};
        text.append(styled_text_t(QString(QChar(attachment_character)), pictured));
        QTextDocument whole;
        fill_document(whole, text);
        for (const int slice : {1, 100, 8192}) {
            QTextDocument sliced;
            int slices = 0;
            for (int at = 0; at < whole.characterCount() - 1; ++slices) at = append_slice(sliced, whole, at, slice);
            QCOMPARE(sliced.toHtml(), whole.toHtml());
            QVERIFY(
                sliced.resource(QTextDocument::ImageResource, QUrl(QStringLiteral("release-notes-image:1"))).isValid());
            QVERIFY(slices >= (whole.characterCount() - 1) / std::max(slice, 200));
        }
    }

    void documentCarriesTheAttributes() {
        const auto r = render("# Head\nSee [site](https://ventaro.example/) and **bold**");
        QTextDocument document;
        fill_document(document, r.styled);
        QCOMPARE(document.toPlainText(), QStringLiteral("Head\nSee site and bold"));
        QTextCursor cursor(&document);
        cursor.setPosition(1);
        QCOMPARE(cursor.charFormat().font().pointSize(), header(23));
        cursor.setPosition(document.toPlainText().indexOf("site") + 1);
        QCOMPARE(cursor.charFormat().anchorHref(), QStringLiteral("https://ventaro.example/"));
        QVERIFY(cursor.charFormat().fontUnderline());
        cursor.setPosition(document.toPlainText().indexOf("bold") + 1);
        QVERIFY(cursor.charFormat().font().bold());
    }
};

QTEST_MAIN(MarkdownTest)
#include "markdown_test.moc"
