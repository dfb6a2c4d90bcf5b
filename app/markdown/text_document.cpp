// SPDX-License-Identifier: MIT
#include "app/markdown/text_document.hpp"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextImageFormat>

#include <unordered_map>

namespace zal::gui {

namespace {

QTextCharFormat format_of(const text_attributes_t& a) {
    QTextCharFormat format;
    if (a.font) format.setFont(*a.font);
    if (a.foreground) format.setForeground(*a.foreground);
    if (a.underline) format.setFontUnderline(*a.underline != 0);
    if (a.link) {
        format.setAnchor(true);
        format.setAnchorHref(a.link->toString(QUrl::FullyEncoded));
    }
    return format;
}

// Runs of equal attributes may hold separate copies, so formats are found by value.
struct attributes_hash_t {
    std::size_t operator()(const text_attributes_t* a) const {
        std::size_t h = a->font ? qHash(*a->font) : 1;
        if (a->foreground) h = h * 31 + a->foreground->rgba();
        if (a->underline) h = h * 31 + std::size_t(*a->underline);
        if (a->link) h = h * 31 + qHash(*a->link);
        if (a->attachment) h = h * 31 + std::size_t(a->attachment->image.cacheKey());
        return h;
    }
};

struct attributes_equal_t {
    bool operator()(const text_attributes_t* a, const text_attributes_t* b) const { return a == b || *a == *b; }
};

// Qt lays a paragraph out whole, on the main thread, and a run without a break
// opportunity costs it time that grows with the square of the run: notes of
// one unbroken megabyte froze the window for minutes. So a long paragraph goes
// on in a new one (at a space where it can), and a long word gets a zero-width
// space where a line may break. Real notes never reach either length.
class line_breaker_t {
public:
    static constexpr qsizetype max_paragraph = 1024, max_word = 200;

    QString operator()(QStringView piece) {
        QString out;
        out.reserve(piece.size() + piece.size() / max_word + 1);
        for (const QChar c : piece) {
            const bool space = c.isSpace();
            if (c == u'\n' || (space && in_paragraph_ >= max_paragraph)) {
                out += u'\n';
                in_paragraph_ = in_word_ = 0;
                continue;
            }
            if (!c.isLowSurrogate() && !space) {
                if (in_paragraph_ >= 2 * max_paragraph) {
                    out += u'\n';
                    in_paragraph_ = in_word_ = 0;
                } else if (in_word_ >= max_word) {
                    out += QChar(0x200B);
                    in_word_ = 0;
                    ++in_paragraph_;
                }
            }
            out += c;
            ++in_paragraph_;
            in_word_ = space ? 0 : in_word_ + 1;
        }
        return out;
    }

private:
    qsizetype in_paragraph_ = 0, in_word_ = 0;
};

// A document's images are its resources, by these names.
QString image_name(int number) { return QStringLiteral("release-notes-image:%1").arg(number); }

}  // namespace

int append_slice(QTextDocument& to, const QTextDocument& from, int position, int characters) {
    const int last = from.characterCount() - 1;
    // At a paragraph's end: paragraphs are bounded, and each comes whole, with its format.
    const QTextBlock block = from.findBlock(std::min(position + characters, last));
    int end = std::min(block.position() + block.length() - 1, last);
    if (end <= position) end = last;
    QTextCursor source(const_cast<QTextDocument*>(&from));
    source.setPosition(position);
    source.setPosition(end, QTextCursor::KeepAnchor);
    QTextCursor target(&to);
    target.movePosition(QTextCursor::End);
    if (position == 0) {
        // A fragment brings the formats of the paragraphs it opens, not of the first one.
        target.setBlockFormat(from.begin().blockFormat());
        target.setBlockCharFormat(from.begin().charFormat());
        for (int i = 1;; ++i) {
            const QUrl name(image_name(i));
            const QVariant image = from.resource(QTextDocument::ImageResource, name);
            if (!image.isValid()) break;
            to.addResource(QTextDocument::ImageResource, name, image);
        }
    }
    target.insertFragment(source.selection());
    return end;
}

void fill_document(QTextDocument& document, const styled_text_t& text) {
    // The notes are shown, never edited: recording every insertion for undo
    // would double the work.
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.clear();
    QTextCursor cursor(&document);
    // One edit block: outside one, every insertion lays its whole paragraph out
    // again, which is quadratic in the runs of a paragraph.
    cursor.beginEditBlock();
    // One format per distinct set of attributes: making one is costly, and Qt
    // finds a format it has seen by its cached hash.
    std::unordered_map<const text_attributes_t*, const QTextCharFormat*> by_address;
    std::unordered_map<const text_attributes_t*, QTextCharFormat, attributes_hash_t, attributes_equal_t> by_value;
    const auto format_for = [&](const text_attributes_t& a) -> const QTextCharFormat& {
        auto [known, added] = by_address.try_emplace(&a);
        if (added) {
            auto [slot, made] = by_value.try_emplace(&a);
            if (made) slot->second = format_of(a);
            known->second = &slot->second;
        }
        return *known->second;
    };
    // The document's own paragraph breaks stand for line feeds.
    line_breaker_t breakable;
    const auto insert_text = [&](QStringView text_piece, const QTextCharFormat& format) {
        const QString broken = breakable(text_piece);
        const QStringView piece(broken);
        for (qsizetype start = 0; start <= piece.size();) {
            qsizetype end = piece.indexOf(u'\n', start);
            if (end < 0) end = piece.size();
            if (start > 0) cursor.insertBlock(QTextBlockFormat(), format);
            if (end > start) cursor.insertText(QString::fromRawData(piece.data() + start, end - start), format);
            start = end + 1;
        }
    };
    // Neighbouring runs with equal attributes are inserted as one piece.
    const QTextCharFormat* pending_format = nullptr;
    qsizetype pending_start = 0;
    qsizetype position = 0;
    int image_count = 0;
    for (const styled_text_t::run_t& run : text.runs()) {
        const text_attributes_t& a = *run.attributes;
        const QTextCharFormat& format = format_for(a);
        if (&format != pending_format || a.attachment) {
            if (pending_format)
                insert_text(QStringView(text.text()).mid(pending_start, position - pending_start), *pending_format);
            pending_format = &format;
            pending_start = position;
        }
        const QStringView piece = QStringView(text.text()).mid(position, run.length);
        position += run.length;
        if (!a.attachment) continue;
        pending_format = nullptr;
        for (QChar c : piece) {
            if (c != QChar(attachment_character)) {
                cursor.insertText(QString(c), format);
                continue;
            }
            const QUrl name(image_name(++image_count));
            document.addResource(QTextDocument::ImageResource, name, a.attachment->image);
            // The run's format first, so that a linked image keeps its link.
            QTextImageFormat image;
            image.merge(format);
            image.setName(name.toString());
            image.setWidth(a.attachment->bounds.width());
            image.setHeight(a.attachment->bounds.height());
            image.setVerticalAlignment(QTextCharFormat::AlignBaseline);
            cursor.insertImage(image);
        }
    }
    if (pending_format)
        insert_text(QStringView(text.text()).mid(pending_start, position - pending_start), *pending_format);
    cursor.endEditBlock();
    document.setUndoRedoEnabled(undo);
}

}  // namespace zal::gui
