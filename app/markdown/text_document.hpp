// SPDX-License-Identifier: MIT
#pragma once

#include <QTextDocument>

#include "app/markdown/styled_text.hpp"

namespace zal::gui {

// Replaces the document's content with the styled text: fonts, colours,
// underline, link targets and inline images.
void fill_document(QTextDocument& document, const styled_text_t& text);

// Appends to `to` the paragraphs of `from` that begin at `position`, whole
// paragraphs of about `characters` in all, with their formats (and, from
// position 0, the images they show). Returns where the next slice begins:
// the end of `from` once all of it is in. Qt lays out what is inserted at
// once; slices keep each turn of the event loop short whatever the notes hold.
int append_slice(QTextDocument& to, const QTextDocument& from, int position, int characters);

}  // namespace zal::gui
