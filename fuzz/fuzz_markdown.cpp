// SPDX-License-Identifier: MIT
// Rendering arbitrary text as release notes: no crash, no hang, bounded memory.
#include <QApplication>
#include <QTextDocument>

#include <cstdint>

#include "app/markdown/markdown_parser.hpp"
#include "app/markdown/text_document.hpp"

namespace {
std::unique_ptr<zal::gui::MarkdownParser> parser;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);  // lives as long as the process
    parser = zal::gui::MarkdownParser::standardParser();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument document;
    zal::gui::fill_document(document, parser->attributedStringFromMarkdown(text));
    return 0;
}
