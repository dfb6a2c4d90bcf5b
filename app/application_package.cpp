// SPDX-License-Identifier: MIT
// The application: reading packages and showing them, release notes included.
#include "app/application.hpp"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLocale>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "app/factories.hpp"
#include "app/markdown/markdown_parser.hpp"
#include "app/markdown/text_document.hpp"
#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "common/async/thread.hpp"
#include "common/text/printable.hpp"
#include "update/package_file.hpp"
#include "updater/package_verdict.hpp"
#include "updater/run_recorder.hpp"

namespace zal::gui {

bool Application::openFile(const QString& path) {
    if (inUpdate_) return false;
    const QUrl url = QUrl::fromLocalFile(path);
    if (hasLaunched_) return openPackage(url);
    urlToLoad_ = url;
    // Read on a worker while the window is made: it is shown at launch.
    prefetchedUrl_ = url;
    prefetched_ = std::async(std::launch::async, [path, trusted = settings_.trust] {
        name_this_thread("package read");
        return readPackage(path, trusted);
    });
    return true;
}

void Application::open() {
    auto* panel = new QFileDialog(window_.get());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setNameFilter(Messages::tr("Ventaro update packages (*.zalmirupdate)"));
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setOption(QFileDialog::ReadOnly);  // choosing a package makes no folders
    panel->setWindowModality(Qt::WindowModal);
    // Room for the sidebar's places and the list's columns at any font size.
    const QFontMetrics metrics = panel->fontMetrics();
    panel->resize(panel->sizeHint().expandedTo(QSize(metrics.averageCharWidth() * 100, metrics.lineSpacing() * 26)));
    QObject::connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        if (result != QDialog::Accepted || panel->selectedFiles().isEmpty()) return;
        const QString path = panel->selectedFiles().first();
        // After accept() has returned: the panel deletes itself on close, and
        // what follows may run an alert's loop of its own.
        QTimer::singleShot(0, this, [this, path] {
            // A name typed past the filter is no package.
            if (!path.endsWith(QStringLiteral(".zalmirupdate"), Qt::CaseInsensitive)) {
                readErrorAlert(printable_text(QDir::toNativeSeparators(path).toStdString()) + QStringLiteral(": ") +
                               localized(invalid_package_key()));
                return;
            }
            openPackage(QUrl::fromLocalFile(path));
        });
    });
    panel->open();
}

// Like every alert, it leaves the event loop to the application: a launch
// with an unreadable package goes on to its window and its signal handlers.
void Application::readErrorAlert(const QString& error) {
    showAlert(Messages::tr("Unable to read the contents of the update"), error);
}

Application::package_read_t Application::readPackage(const QString& path, const trust_t& trusted) {
    package_read_t read;
    result_t<std::vector<unsigned char>> bytes = read_whole_file(QFile::encodeName(path).toStdString());
    if (!bytes) {
        // Named, so that the alert says which file could not be read.
        read.unreadable = printable_text(QDir::toNativeSeparators(path).toStdString()) + QStringLiteral(": ") +
                          printable_text(bytes.failure().text);
        return read;
    }
    if (bytes->empty()) {
        read.empty = true;
        return read;
    }
    result_t<update_t> update = read_update(bytes->data(), static_cast<unsigned long>(bytes->size()), trusted);
    if (update)
        read.update = std::move(*update);
    else
        read.invalid = engine_text(update.failure().text.c_str());
    return read;
}

bool Application::openPackage(const QUrl& url) {
    package_read_t read;
    if (prefetched_.valid() && prefetchedUrl_ == url)
        read = prefetched_.get();
    else
        read = readPackage(url.toLocalFile(), settings_.trust);
    prefetched_ = {};
    if (!read.unreadable.isEmpty()) {
        readErrorAlert(read.unreadable);
        return false;
    }
    return showPackage(std::move(read), url);
}

bool Application::showPackage(package_read_t read, const QUrl& url, bool fromFeed) {
    const QString title = Messages::tr("Unable to read the contents of the update");
    if (read.empty) {
        showAlert(title, localized(invalid_package_key()));
        return false;
    }
    if (!read.update) {
        showFailureAlert(title, localized(invalid_package_key()), read.invalid);
        return false;
    }
    // A package changed after it was signed, or an unsigned one where only
    // signed ones are accepted, is never shown: it could not be installed.
    const updater::package_verdict_t verdict =
        updater::package_verdict(*read.update, trustFor(fromFeed), false, nullptr);
    if (verdict.decision == updater::decision_t::refuse) {
        write_line(stderr, url.toLocalFile().toStdString() + ": " +
                               fill(verdict.refusal->english, verdict.refusal->values) +
                               (verdict.details.empty() ? "" : " (" + verdict.details + ")"));
        showFailureAlert(title, said(*verdict.refusal), printable_text(verdict.details));
        return false;
    }
    update_ = std::move(*read.update);
    packageFromFeed_ = fromFeed;
    if (offered_ && !newerThanOpen(*offered_)) window_->feedBar()->hide();
    QMainWindow* window = window_.get();
    // The desktop adds the program's name after it.
    window->setWindowTitle(
        Messages::tr("%1 version %2").arg(printable_text(update_.product), printable_text(update_.version_string)));
    window->setWindowFilePath(url.toLocalFile());
    window_->setTitle(printable_text(update_.product));
    const date_t& d = update_.release_date;
    const QDate released(d.year, d.month, d.day);
    // A day the calendar lacks (31 February) shows as the package wrote it.
    const QString date = released.isValid() ? QLocale(language()).toString(released, QLocale::ShortFormat)
                                            : QString::fromStdString(updater::date_text(d));
    window_->setSecondaryTitle(Messages::tr("Version %1 (%2)").arg(printable_text(update_.version_string), date));
    if (update_.signature.status == signature_status_t::signed_package)
        window_->setSignature(true, Messages::tr("Signed"), said(*verdict.signature));
    else
        window_->setSignature(false, Messages::tr("Not signed"), said(*verdict.signature));
    std::string notes = update_.notes[int(notes_language())];
    if (notes.empty()) notes = update_.notes[0];
    if (notes.size() > most_notes_shown) {
        // At a line's end where there is one, never inside a character.
        std::size_t end = notes.rfind('\n', most_notes_shown);
        if (end == std::string::npos || end < most_notes_shown / 2) end = most_notes_shown;
        while (end > 0 && (static_cast<unsigned char>(notes[end]) & 0xC0) == 0x80) --end;
        notes.resize(end);
        notes +=
            "\n\n" + Messages::tr("(The release notes go on beyond 256 KiB; the rest is not shown.)").toStdString();
    }
    ++notesGeneration_;
    // Once the window is up: start-up never waits for the history.
    window_->setNotice(QString());
    QTimer::singleShot(history_check_delay, this, [this, generation = notesGeneration_] {
        if (generation == notesGeneration_) checkOlderFirmware();
    });
    if (!notes.empty()) {
        text_attributes_t base;
        base.foreground = window_->textView()->palette().color(QPalette::Text);
        base.font = control_font(control_size_t::regular);
        QString markdown = QString::fromUtf8(notes.data(), qsizetype(notes.size()));
        if (notes.size() <= large_notes) {
            if (!parser_) parser_ = MarkdownParser::standardParser();
            window_->setDetails(parser_->attributedStringFromMarkdown(markdown, base));
        } else {
            renderLargeNotes(std::move(markdown), base);
        }
    } else {
        window_->setDetails(styled_text_t());
    }
    hasUpdate_ = true;
    window_->setHasPackage(true);
    window_->setUpdateEnabled(true);
    updateActions();
    return true;
}

// Long notes are rendered on a worker, into a document of their own, so that
// the window and its menus stay responsive whatever the notes hold. A later
// package's notes supersede them.
void Application::renderLargeNotes(QString markdown, const text_attributes_t& base) {
    window_->setDetails(styled_text_t());
    const uint64_t generation = notesGeneration_;
    // A parser of its own: the shared one is locked while it parses.
    std::shared_ptr<MarkdownParser> parser = MarkdownParser::standardParser();
    QThread* main_thread = QThread::currentThread();
    QPointer<Application> self(this);
    async([self, parser, main_thread, generation, markdown = std::move(markdown), base] {
        auto details = std::make_shared<styled_text_t>(parser->attributedStringFromMarkdown(markdown, base));
        auto document = std::make_shared<std::unique_ptr<QTextDocument>>(std::make_unique<QTextDocument>());
        fill_document(**document, *details);
        (*document)->moveToThread(main_thread);
        async_main([self, generation, details, document] {
            if (self && self->notesGeneration_ == generation) self->window_->setDetails(*details, std::move(*document));
        });
    });
}

bool Application::openBundledPackage() {
    QStringList directories = {
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/ventaro-update"))};
    if (!settings_.bundle_directory.isEmpty()) directories << settings_.bundle_directory;
    QString path;
    for (const QString& directory : directories) {
        const QStringList found =
            QDir(directory).entryList({QStringLiteral("*.zalmirupdate")}, QDir::Files, QDir::Name);
        if (!found.isEmpty()) {
            path = QDir(directory).filePath(found.first());
            break;
        }
    }
    if (path.isEmpty()) {
        std::fprintf(stderr, "Bundled update not found.\n");
        return false;
    }
    return openPackage(QUrl::fromLocalFile(path));
}

}  // namespace zal::gui
