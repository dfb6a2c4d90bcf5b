// SPDX-License-Identifier: MIT
// The application's controller: launching, quitting, menus and keys.
#include "app/app_delegate.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>

#include "app/log_window.hpp"
#include "app/markdown/px_markdown_parser.hpp"  // the parser the delegate owns, for its destructor
#include "app/shell.hpp"
#include "app/strings.hpp"

namespace zal::gui {

namespace {

// Text a user types into, where a held Return or Enter is theirs.
bool takes_typing(QObject* object) {
    if (auto* line = qobject_cast<QLineEdit*>(object)) return !line->isReadOnly();
    if (auto* text = qobject_cast<QTextEdit*>(object)) return !text->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) return !plain->isReadOnly();
    return false;
}

}  // namespace

AppDelegate::AppDelegate()
    : engine_(
          {.announce = [this](const char* title,
                              const char* subtitle) { updaterOnAnnounce(engine_text(title), engine_text(subtitle)); },
           .progress = [this](float progress) { updaterOnProgress(progress); },
           .end = [this](const updater::outcome_t& outcome) { updaterOnEnd(outcome); },
           .ask_kind = [this](std::function<void(std::optional<kind_t>)> answer) { askKind(std::move(answer)); },
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

bool AppDelegate::applicationShouldTerminate() {
    if (!inUpdate_ || quitConfirmed_) return true;
    QMessageBox question(QMessageBox::Warning, QString(), localized("ZALQuitDuringUpdateTitle"), QMessageBox::NoButton,
                         windowCtrl_->window());
    question.setInformativeText(localized("ZALQuitDuringUpdateMessage"));
    QPushButton* quit = question.addButton(Messages::tr("Quit"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question.addButton(Messages::tr("Cancel"), QMessageBox::RejectRole);
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

void AppDelegate::showWebHelp() {
    const QString address = localized("ZALTroubleshootingURL");
    open_url(QUrl(address), [self = QPointer<AppDelegate>(this), address] {
        if (!self || !self->windowCtrl_) return;
        auto* alert = new QMessageBox(QMessageBox::Information, QString(), Messages::tr("Troubleshooting"),
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
    openItem_ = new QAction(Messages::tr("Open another update…"), file);
    openItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    openItem_->setAutoRepeat(false);
    file->insertAction(separator, openItem_);
    updateItem_ = new QAction(Messages::tr("Update"), file);
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
        runErrorAlertWithTitle(Messages::tr("Update canceled"), localized("ZALUpdateCancelMessage"));
}

void AppDelegate::updateSheetControllerDidClickHelp(UpdateSheetController*) { showWebHelp(); }

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

}  // namespace zal::gui
