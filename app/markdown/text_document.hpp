// SPDX-License-Identifier: MIT
#pragma once

#include <QTextDocument>

#include "app/markdown/styled_text.hpp"

namespace zal::gui {

// Replaces the document's content with the styled text: fonts, colours,
// underline, link targets and inline images.
void fill_document(QTextDocument& document, const styled_text_t& text);

}  // namespace zal::gui
