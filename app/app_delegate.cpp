// SPDX-License-Identifier: MIT
#include "app/app_delegate.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpacerItem>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <stdexcept>

#include "app/factories.hpp"
#include "app/log_window.hpp"
#include "app/markdown/px_markdown_parser.hpp"
#include "app/markdown/text_document.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "update/package_file.hpp"

namespace zal::gui {

namespace {

constexpr int first_button = 1000;

kind_t counterpart_of(kind_t kind) {
    return kind == kind_t::ventaro ? kind_t::ruvo : kind == kind_t::ruvo ? kind_t::ventaro : kind_t::any;
}

QString format(const QString& pattern, const QString& a) {
    QString text = pattern;
    return text.replace(QStringLiteral("%s"), a);
}

QString format(const QString& pattern, const QString& a, const QString& b) {
    QString text = pattern;
    const qsizetype first = text.indexOf(QStringLiteral("%s"));
    if (first >= 0) text.replace(first, 2, a);
    const qsizetype second = text.indexOf(QStringLiteral("%s"), first >= 0 ? first + a.size() : 0);
    if (second >= 0) text.replace(second, 2, b);
    return text;
}

// Text a user types into, where a held Return or Enter is theirs.
bool takes_typing(QObject* object) {
    if (auto* line = qobject_cast<QLineEdit*>(object)) return !line->isReadOnly();
    if (auto* text = qobject_cast<QTextEdit*>(object)) return !text->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) return !plain->isReadOnly();
    return false;
}

}  // namespace

AppDelegate::AppDelegate()
    : engine_({.announce =
                   [this](const char* title, const char* subtitle) {
                       updaterOnAnnounce(QString::fromUtf8(title), QString::fromUtf8(subtitle));
                   },
               .progress = [this](float progress) { updaterOnProgress(progress); },
               .end =
                   [this](end_t end, kind_t kind, const char* message) {
                       updaterOnEnd(end, kind, message ? QString::fromUtf8(message) : QString());
                   },
               .ask_kind = [this] { return askKindModal(); },
               .device_phases = [this](bool active) { active ? inhibitor_.hold() : inhibitor_.release(); }}) {
    qApp->installEventFilter(this);
    LogWindow::logWindow();  // captures standard error from now on
}

// A live run ends here, while the windows its end touches are still there.
AppDelegate::~AppDelegate() {
    engine_.shut_down();
    if (app_delegate() == this) set_app_delegate(nullptr);
}

void AppDelegate::applicationWillFinishLaunching() { hasLaunched_ = false; }

void AppDelegate::applicationDidFinishLaunching() {
    windowCtrl_ = std::make_unique<UpdateWindowController>();
    windowCtrl_->delegate = this;
    windowCtrl_->setUpdateEnabled(false);
    windowCtrl_->setHasPackage(false);
    if (QMenuBar* menu = main_menu()) {
        windowCtrl_->window()->setMenuBar(menu);
        // F10 opens the menu bar from the keyboard, as elsewhere on the desktop.
        auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), windowCtrl_->window());
        QObject::connect(menuKey, &QShortcut::activated, menu, [menu] {
            if (!menu->actions().isEmpty()) menu->setActiveAction(menu->actions().first());
        });
        windowCtrl_->fitWindowToContent();  // the menu bar comes on top of the content's size
    }
    sheetCtrl_ = std::make_unique<UpdateSheetController>();
    sheetCtrl_->delegate = this;
    completeMainMenu();
    windowCtrl_->window()->show();
    windowCtrl_->window()->raise();
    windowCtrl_->window()->activateWindow();
    hasLaunched_ = true;
    if (!urlToLoad_.isEmpty()) {
        if (openFileWithURL(urlToLoad_)) hasAlreadyLoadedFirstUpdate_ = true;
        urlToLoad_.clear();
    }
    if (!hasAlreadyLoadedFirstUpdate_) {
        if (readBundledUpdate())
            hasAlreadyLoadedFirstUpdate_ = true;
        else
            open();
    }
}

bool AppDelegate::applicationOpenFile(const QString& path) {
    if (inUpdate_) return false;
    const QUrl url = QUrl::fromLocalFile(path);
    if (hasLaunched_) return openFileWithURL(url);
    urlToLoad_ = url;
    // Read on a worker while the window is made: it is shown at launch.
    prefetchedUrl_ = url;
    prefetched_ = std::async(std::launch::async, [path, trusted = trust] { return readPackage(path, trusted); });
    return true;
}

void AppDelegate::open() {
    auto* panel = new QFileDialog(windowCtrl_->window());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setNameFilter(localized("Ventaro update packages (*.zalmirupdate)"));
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setOption(QFileDialog::ReadOnly);  // choosing a package makes no folders
    panel->setWindowModality(Qt::WindowModal);
    // Room for the sidebar's places and the list's columns at any font size.
    const QFontMetrics metrics = panel->fontMetrics();
    panel->resize(panel->sizeHint().expandedTo(QSize(metrics.averageCharWidth() * 100, metrics.lineSpacing() * 26)));
    QObject::connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        if (result != QDialog::Accepted || panel->selectedFiles().isEmpty()) return;
        const QString path = panel->selectedFiles().first();
        // A name typed past the filter is no package.
        if (!path.endsWith(QStringLiteral(".zalmirupdate"), Qt::CaseInsensitive)) {
            readErrorAlert(QDir::toNativeSeparators(path) + QStringLiteral(": ") + localized(invalid_package_key()));
            return;
        }
        openFileWithURL(QUrl::fromLocalFile(path));
    });
    panel->open();
}

void AppDelegate::readErrorAlert(const QString& error) {
    QMessageBox alert(QMessageBox::Warning, QString(), localized("Unable to read the contents of the update"),
                      QMessageBox::Ok, windowCtrl_ ? windowCtrl_->window() : nullptr);
    alert.setInformativeText(error);
    alert.setWindowModality(Qt::ApplicationModal);
    decorateAlert(&alert);
    alert.exec();
    focusMainControl();
}

bool AppDelegate::applicationShouldTerminate() {
    if (!inUpdate_ || quitConfirmed_) return true;
    QMessageBox question(QMessageBox::Warning, QString(), localized("ZALQuitDuringUpdateTitle"), QMessageBox::NoButton,
                         windowCtrl_->window());
    question.setInformativeText(localized("ZALQuitDuringUpdateMessage"));
    QPushButton* quit = question.addButton(localized("Quit"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question.addButton(localized("Cancel"), QMessageBox::RejectRole);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.setWindowModality(Qt::ApplicationModal);
    decorateAlert(&question);
    question.exec();
    quitConfirmed_ = question.clickedButton() == quit;
    return quitConfirmed_;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    // A held Return repeats: only the first press may start or accept anything.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !takes_typing(watched))
            return true;
    }
    if (event->type() == QEvent::Close && windowCtrl_ && watched == windowCtrl_->window() &&
        !applicationShouldTerminate()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::runUpdate() { runUpdateWithKind(kind_t::any); }

void AppDelegate::showWebHelp() {
    const QString address = localized("ZALTroubleshootingURL");
    open_url(QUrl(address), [self = QPointer<AppDelegate>(this), address] {
        if (!self || !self->windowCtrl_) return;
        auto* alert = new QMessageBox(QMessageBox::Information, QString(), localized("Troubleshooting"),
                                      QMessageBox::Ok, self->windowCtrl_->window());
        alert->setInformativeText(format(localized("ZALNoBrowser"), address));
        alert->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        alert->setWindowModality(Qt::WindowModal);
        self->presentAlert(alert, [self](int, QAbstractButton*) {
            if (self) self->enableControls();
        });
    });
}

bool AppDelegate::validateUserInterfaceItem(const QAction* item) const {
    if (item == updateItem_) return !inUpdate_ && hasUpdate_;  // nothing to install without a package
    if (item == openItem_) return !inUpdate_;
    return true;
}

void AppDelegate::validateMenus() {
    for (QAction* item : {updateItem_.data(), openItem_.data()})
        if (item) item->setEnabled(validateUserInterfaceItem(item));
}

void AppDelegate::completeMainMenu() {
    QMenu* file = menu_with_tag(2);
    if (!file) return;
    QAction* first = file->actions().isEmpty() ? nullptr : file->actions().first();
    QAction* separator = file->insertSeparator(first);
    openItem_ = new QAction(localized("Open another update…"), file);
    openItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    openItem_->setAutoRepeat(false);
    file->insertAction(separator, openItem_);
    updateItem_ = new QAction(localized("Update"), file);
    updateItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    updateItem_->setAutoRepeat(false);
    file->insertAction(openItem_, updateItem_);
    QObject::connect(openItem_, &QAction::triggered, this, [this] { open(); });
    QObject::connect(updateItem_, &QAction::triggered, this, [this] { runUpdate(); });
    validateMenus();
}

void AppDelegate::updateWindowControllerDidClickUpdate(UpdateWindowController*) { runUpdate(); }

void AppDelegate::updateWindowControllerDidClickOpen(UpdateWindowController*) { open(); }

void AppDelegate::updateSheetControllerDidClickCancel(UpdateSheetController*) {
    endUpdate();
    if (cancelHasConsequences_)
        runErrorAlertWithTitle(localized("Update canceled"), localized("ZALUpdateCancelMessage"));
}

void AppDelegate::updateSheetControllerDidClickHelp(UpdateSheetController*) { showWebHelp(); }

AppDelegate::package_read_t AppDelegate::readPackage(const QString& path, const trust_t& trusted) {
    package_read_t read;
    result_t<std::vector<unsigned char>> bytes = read_whole_file(QFile::encodeName(path).toStdString());
    if (!bytes) {
        // Named, so that the alert says which file could not be read.
        read.unreadable = QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                          QString::fromLocal8Bit(bytes.failure().text.c_str());
        return read;
    }
    if (bytes->empty()) {
        read.empty = true;
        return read;
    }
    try {
        read.update = make_update(bytes->data(), static_cast<unsigned long>(bytes->size()), trusted);
    } catch (const std::exception& e) {
        read.invalid = QString::fromUtf8(e.what());
    }
    return read;
}

bool AppDelegate::openFileWithURL(const QUrl& url) {
    package_read_t read;
    if (prefetched_.valid() && prefetchedUrl_ == url)
        read = prefetched_.get();
    else
        read = readPackage(url.toLocalFile(), trust);
    prefetched_ = {};
    if (!read.unreadable.isEmpty()) {
        readErrorAlert(read.unreadable);
        return false;
    }
    return showPackage(std::move(read), url);
}

bool AppDelegate::showPackage(package_read_t read, const QUrl& url) {
    const QString title = localized("Unable to read the contents of the update");
    if (read.empty) {
        runErrorAlertWithTitle(title, localized(invalid_package_key()));
        return false;
    }
    if (!read.update) {
        runFailureAlertWithTitle(title, localized(invalid_package_key()), read.invalid);
        return false;
    }
    // A package changed after it was signed, or an unsigned one where only
    // signed ones are accepted, is never shown: it could not be installed.
    const package_signature_t& checked = read.update->signature;
    const QString file = QDir::toNativeSeparators(url.toLocalFile());
    if (checked.status == signature_status_t::changed) {
        std::fprintf(stderr, "%s was changed after it was signed: %s\n", qPrintable(file), checked.reason.c_str());
        runFailureAlertWithTitle(title, localized("ZALChangedPackage"), QString::fromStdString(checked.reason));
        return false;
    }
    if (trust.require_signature && checked.status != signature_status_t::signed_package) {
        std::fprintf(stderr, "%s is not signed by a trusted key, and only signed packages are accepted.\n",
                     qPrintable(file));
        runFailureAlertWithTitle(title, localized("ZALUnsignedRefused"), QString());
        return false;
    }
    if (checked.status == signature_status_t::unknown_signer)
        std::fprintf(stderr, "%s is signed by key %s, which this computer does not trust.\n", qPrintable(file),
                     checked.key_id.c_str());
    update_ = std::move(*read.update);
    QMainWindow* window = windowCtrl_->window();
    window->setWindowTitle(format(localized("%s v%s Update"), QString::fromStdString(update_.product),
                                  QString::fromStdString(update_.version_string)));
    window->setWindowFilePath(url.toLocalFile());
    windowCtrl_->setTitle(QString::fromStdString(update_.product));
    const date_t& d = update_.release_date;
    const char* date = lang == lang_t::fr
                           ? str_format_tmp("%02u/%02u/%04u", unsigned(d.day), unsigned(d.month), unsigned(d.year))
                           : str_format_tmp("%04u-%02u-%02u", unsigned(d.year), unsigned(d.month), unsigned(d.day));
    windowCtrl_->setSecondaryTitle(
        format(localized("Version %s (%s)"), QString::fromStdString(update_.version_string), QString::fromUtf8(date)));
    const package_signature_t& signature = update_.signature;
    if (signature.status == signature_status_t::signed_package) {
        const QString signer = signature.signer.empty()
                                   ? format(localized("key %s"), QString::fromStdString(signature.key_id))
                                   : QString::fromStdString(signature.signer);
        windowCtrl_->setSignature(true, localized("Signed"), format(localized("Signed by %s"), signer));
    } else {
        windowCtrl_->setSignature(false, localized("Not signed"), localized("This package is not signed."));
    }
    std::string notes = update_.notes[int(lang)];
    if (notes.empty()) notes = update_.notes[0];
    ++notesGeneration_;
    if (!notes.empty()) {
        text_attributes_t base;
        base.foreground = windowCtrl_->textView()->palette().color(QPalette::Text);
        base.font = control_font(control_size_t::regular);
        QString markdown = QString::fromUtf8(notes.data(), qsizetype(notes.size()));
        if (notes.size() <= large_notes) {
            if (!parser_) parser_ = PXMarkdownParser::standardParser();
            windowCtrl_->setDetails(parser_->attributedStringFromMarkdown(markdown, base));
        } else {
            renderLargeNotes(std::move(markdown), base);
        }
    } else {
        windowCtrl_->setDetails(styled_text_t());
    }
    hasUpdate_ = true;
    windowCtrl_->setHasPackage(true);
    windowCtrl_->setUpdateEnabled(true);
    validateMenus();
    return true;
}

// Long notes are rendered on a worker, into a document of their own, so that
// the window and its menus stay responsive whatever the notes hold. A later
// package's notes supersede them.
void AppDelegate::renderLargeNotes(QString markdown, const text_attributes_t& base) {
    windowCtrl_->setDetails(styled_text_t());
    const uint64_t generation = notesGeneration_;
    // A parser of its own: the shared one is locked while it parses.
    std::shared_ptr<PXMarkdownParser> parser = PXMarkdownParser::standardParser();
    QThread* main_thread = QThread::currentThread();
    QPointer<AppDelegate> self(this);
    async([self, parser, main_thread, generation, markdown = std::move(markdown), base] {
        auto details = std::make_shared<styled_text_t>(parser->attributedStringFromMarkdown(markdown, base));
        auto document = std::make_shared<std::unique_ptr<QTextDocument>>(std::make_unique<QTextDocument>());
        fill_document(**document, *details);
        (*document)->moveToThread(main_thread);
        async_main([self, generation, details, document] {
            if (self && self->notesGeneration_ == generation)
                self->windowCtrl_->setDetails(*details, std::move(*document));
        });
    });
}

QStringList AppDelegate::bundleDirectories() {
    QStringList directories = {
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/ventaro-update"))};
    if (!bundleDirectory.isEmpty()) directories << bundleDirectory;
    return directories;
}

bool AppDelegate::readBundledUpdate() {
    QString path;
    for (const QString& directory : bundleDirectories()) {
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
    return openFileWithURL(QUrl::fromLocalFile(path));
}

void AppDelegate::runUpdateWithKind(kind_t kind) {
    // Without a package a run would reboot the device for nothing.
    if (!hasUpdate_ || inUpdate_) return;
    disableControls();
    sheetCtrl_->setTitle(localized("Preparing the update…"));
    sheetCtrl_->setSubtitle(QString());
    sheetCtrl_->setCancelable(false);
    sheetCtrl_->setProgress(2.0);
    sheetCtrl_->beginSheetModalForWindow(windowCtrl_->window());
    inUpdate_ = true;
    validateMenus();
    cancelHasConsequences_ = false;
    if (onRunStarted) onRunStarted(kind);
    try {
        engine_.start(kind, update_);
    } catch (const std::exception& e) {
        endUpdate();
        const char* what = e.what();
        runErrorAlertWithTitle(localized("Error"),
                               what ? QString::fromUtf8(what) : localized("An error has occurred during the update."));
        return;
    }
    // The engine may have ended the run inside start (the kind question
    // declined, the first send failing): then the run is over already.
    if (!engine_.running()) {
        if (inUpdate_) endUpdate();
        return;
    }
    sheetCtrl_->setHelp(localized("ZALUpdateClickHelp"));
    sheetCtrl_->setCancelable(true);
    cancelHasConsequences_ = false;
}

void AppDelegate::endUpdate() {
    engine_.cancel();
    sheetCtrl_->endSheetModalForWindow(windowCtrl_->window());
    enableControls();
    inUpdate_ = false;
    quitConfirmed_ = false;
    validateMenus();
    focusMainControl();
}

// Not the notes: Return there follows links.
void AppDelegate::focusMainControl() {
    if (!windowCtrl_) return;
    if (windowCtrl_->updateButton()->isEnabled())
        windowCtrl_->updateButton()->setFocus();
    else if (!windowCtrl_->hasPackage())
        windowCtrl_->openButton()->setFocus();
}

void AppDelegate::disableControls() {
    windowCtrl_->setUpdateEnabled(false);
    windowCtrl_->setDetailsEnabled(false);
}

void AppDelegate::enableControls() {
    windowCtrl_->setUpdateEnabled(hasUpdate_);
    windowCtrl_->setDetailsEnabled(true);
}

void AppDelegate::decorateAlert(QMessageBox* alert) {
    // The title bar says what the alert is about; a screen reader names the
    // alert by it and reads its text as the description.
    alert->setWindowTitle(alert->text());
    alert->setAccessibleName(alert->text());
    alert->setAccessibleDescription(alert->informativeText());
    // Wide enough for the whole title beside the window's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(alert->layout())) {
        const int width = alert->fontMetrics().horizontalAdvance(alert->text()) * 3 / 2 + 160;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
}

void AppDelegate::presentAlert(QMessageBox* alert, std::function<void(int, QAbstractButton*)> didEnd) {
    disableControls();
    QPointer<QMessageBox> box(alert);
    // Scheduled, so that the progress sheet has gone before the alert appears.
    async_main([this, box, didEnd = std::move(didEnd)] {
        if (!box) return;
        QObject::connect(box, &QMessageBox::finished, this, [this, box, didEnd](int) {
            int code = first_button;
            QAbstractButton* clicked = nullptr;
            if (box) {
                const QList<QAbstractButton*> buttons = box->buttons();
                clicked = box->clickedButton();
                const qsizetype index = buttons.indexOf(clicked);
                code = index >= 0 ? first_button + int(index) : first_button + int(buttons.size()) - 1;
                box->deleteLater();
            }
            didEnd(code, clicked);
            focusMainControl();
        });
        decorateAlert(box);
        share_application_keys(box);
        // A window-modal QMessageBox makes itself a Qt::Sheet, which Wayland
        // compositors show undecorated and unattached: a dialog it stays.
        box->setWindowFlags((box->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
        box->QWidget::setWindowModality(Qt::WindowModal);  // QMessageBox's own would make it a sheet again
        box->open();
    });
}

void AppDelegate::runErrorAlertWithTitle(const QString& title, const QString& message, QMessageBox::Icon icon) {
    auto* alert = new QMessageBox(icon, app_name(QString()), title, QMessageBox::Ok, windowCtrl_->window());
    alert->setInformativeText(message);
    alert->setWindowModality(Qt::WindowModal);
    presentAlert(alert, [this](int, QAbstractButton*) { enableControls(); });
}

void AppDelegate::runFailureAlertWithTitle(const QString& title, const QString& message, const QString& details) {
    auto* alert =
        new QMessageBox(QMessageBox::Warning, app_name(QString()), title, QMessageBox::NoButton, windowCtrl_->window());
    alert->setInformativeText(message);
    if (!details.isEmpty()) alert->setDetailedText(details);
    QPushButton* ok = alert->addButton(QMessageBox::Ok);
    QPointer<QPushButton> troubleshooting = alert->addButton(localized("Troubleshooting"), QMessageBox::HelpRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    alert->setWindowModality(Qt::WindowModal);
    presentAlert(alert, [this, troubleshooting](int, QAbstractButton* clicked) {
        enableControls();
        if (clicked && clicked == troubleshooting) showWebHelp();
    });
}

void AppDelegate::askForCounterpartUpdateIfNeededWithKind(kind_t kind) {
    const char* message = "ZALUpdateSuccessMessage";
    const kind_t counterpart = counterpart_of(kind);
    const bool has_counterpart = (kind == kind_t::ventaro && update_.ruvo) || (kind == kind_t::ruvo && update_.ventaro);
    if (has_counterpart) {
        if (counterpart != lastCounterpartUpdated_) {
            const QString name = QString::fromLatin1(kind_name(counterpart));
            auto* alert = new QMessageBox(QMessageBox::Information, app_name(QString()), localized("Update successful"),
                                          QMessageBox::NoButton, windowCtrl_->window());
            alert->setInformativeText(format(localized("ZALUpdateSuccessMessageWithCounterpart"), name));
            QPushButton* accept = alert->addButton(format(localized("Update my %s"), name), QMessageBox::AcceptRole);
            QPushButton* end = alert->addButton(localized("End"), QMessageBox::RejectRole);
            alert->setDefaultButton(accept);
            alert->setEscapeButton(end);
            alert->setWindowModality(Qt::WindowModal);
            presentAlert(alert, [this, kind, counterpart](int code, QAbstractButton*) {
                counterpartAlertDidEnd(code, kind, counterpart);
            });
            return;
        }
        message = "ZALUpdateSuccessMessageBoth";
    }
    runErrorAlertWithTitle(localized("Update successful"), localized(message), QMessageBox::Information);
    lastCounterpartUpdated_ = kind_t::any;
}

void AppDelegate::counterpartAlertDidEnd(int returnCode, kind_t updated, kind_t counterpart) {
    enableControls();
    if (returnCode != first_button) return;
    lastCounterpartUpdated_ = updated;
    runUpdateWithKind(counterpart);
}

void AppDelegate::updaterOnAnnounce(const QString& title, const QString& subtitle) {
    sheetCtrl_->setTitle(title);
    sheetCtrl_->setSubtitle(subtitle);
}

void AppDelegate::updaterOnProgress(float progress) {
    // A device's report that is not a number must not reach the bar.
    if (!std::isfinite(progress)) return;
    sheetCtrl_->setProgress(double(progress));
    cancelHasConsequences_ = true;
}

void AppDelegate::updaterOnEnd(end_t end, kind_t kind, const QString& message) {
    endUpdate();
    switch (end) {
        case end_t::failure:
            runFailureAlertWithTitle(localized("Update failed"),
                                     localized(plain_failure_key(message.toStdString())) + QStringLiteral("\n\n") +
                                         localized("ZALUpdateErrorMessage"),
                                     message);
            break;
        case end_t::success: askForCounterpartUpdateIfNeededWithKind(kind); break;
        case end_t::cancelled: break;
    }
    if (onRunEnded) onRunEnded(end);
}

kind_t AppDelegate::askKindModal() {
    QMessageBox alert(QMessageBox::Question, app_name(QString()), localized("ZALIsThisVentaroTitle"),
                      QMessageBox::NoButton, windowCtrl_ ? windowCtrl_->window() : nullptr);
    alert.setInformativeText(localized("ZALIsThisVentaroMessage"));
    QPushButton* ventaro = alert.addButton(QStringLiteral("Ventaro"), QMessageBox::AcceptRole);
    QPushButton* ruvo = alert.addButton(QStringLiteral("Ruvo"), QMessageBox::AcceptRole);
    QPushButton* cancel = alert.addButton(localized("Cancel"), QMessageBox::RejectRole);
    alert.setEscapeButton(cancel);
    alert.setWindowModality(Qt::ApplicationModal);
    decorateAlert(&alert);
    alert.exec();
    if (alert.clickedButton() == ventaro) return kind_t::ventaro;
    if (alert.clickedButton() == ruvo) return kind_t::ruvo;
    return kind_t::any;
}

}  // namespace zal::gui
