// SPDX-License-Identifier: MIT
#include "app/markdown/text_document.hpp"

#include <QTextCursor>
#include <QTextImageFormat>

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

}  // namespace

void fill_document(QTextDocument& document, const styled_text_t& text) {
    document.clear();
    QTextCursor cursor(&document);
    // One edit block: outside one, every insertion lays its whole paragraph out
    // again, which is quadratic in the runs of a paragraph.
    cursor.beginEditBlock();
    qsizetype position = 0;
    int image_count = 0;
    for (const styled_text_t::run_t& run : text.runs()) {
        const text_attributes_t& a = *run.attributes;
        const QStringView piece = QStringView(text.text()).mid(position, run.length);
        position += run.length;
        if (a.attachment) {
            for (QChar c : piece) {
                if (c != QChar(attachment_character)) {
                    cursor.insertText(QString(c), format_of(a));
                    continue;
                }
                const QUrl name(QStringLiteral("release-notes-image:%1").arg(++image_count));
                document.addResource(QTextDocument::ImageResource, name, a.attachment->image);
                // The run's format first, so that a linked image keeps its link.
                QTextImageFormat image;
                image.merge(format_of(a));
                image.setName(name.toString());
                image.setWidth(a.attachment->bounds.width());
                image.setHeight(a.attachment->bounds.height());
                image.setVerticalAlignment(QTextCharFormat::AlignBaseline);
                cursor.insertImage(image);
            }
            continue;
        }
        // The document's own paragraph breaks stand for line feeds.
        const QString chunk = piece.toString();
        const QStringList lines = chunk.split(u'\n');
        const QTextCharFormat format = format_of(a);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) cursor.insertBlock(QTextBlockFormat(), format);
            if (!lines[i].isEmpty()) cursor.insertText(lines[i], format);
        }
    }
    cursor.endEditBlock();
}

}  // namespace zal::gui
