// SPDX-License-Identifier: MIT
// The start-up benchmark's second yardstick: the least a program does to show
// a package's release notes as the application renders them, a text browser
// in a QMainWindow without menus, controls or the engine. Like the
// application, it reads the package on a worker while it makes the window.
#include <QApplication>
#include <QMainWindow>
#include <QTextBrowser>

#include <cstdio>
#include <exception>
#include <future>
#include <stdexcept>
#include <string>

#include "app/markdown/markdown_parser.hpp"
#include "app/markdown/text_document.hpp"
#include "bench/startup_probe.hpp"
#include "update/package_file.hpp"
#include "update/update.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) return 2;
    std::future<zal::update_t> read = std::async(std::launch::async, [path = std::string(argv[1])] {
        const auto bytes = zal::read_whole_file(path);
        if (!bytes) throw std::runtime_error(bytes.failure().text);
        return zal::make_update(bytes->data(), static_cast<unsigned long>(bytes->size()), {});
    });
    QMainWindow window;
    auto* notes = new QTextBrowser;
    window.setCentralWidget(notes);
    zal::gui::text_attributes_t base;
    base.foreground = notes->palette().color(QPalette::Text);
    base.font = notes->font();
    zal::update_t update;
    try {
        update = read.get();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    const std::string& text = update.notes[0];
    zal::gui::fill_document(*notes->document(),
                            zal::gui::MarkdownParser::standardParser()->attributedStringFromMarkdown(
                                QString::fromUtf8(text.data(), qsizetype(text.size())), base));
    zal::bench::startup_probe_t probe(notes->viewport(), [notes] { return !notes->document()->isEmpty(); });
    window.show();
    return application.exec();
}
