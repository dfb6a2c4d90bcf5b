// SPDX-License-Identifier: MIT
// The application: launching, quitting, menus and keys.
#include "app/application.hpp"

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
#include "app/markdown/markdown_parser.hpp"  // the parser the application owns, for its destructor
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

Application::Application(settings_t settings)
    : settings_(std::move(settings)),
      engine_(recorder_.recording(
          {.announce = [this](const char* title,
                              const char* subtitle) { showPhase(engine_text(title), engine_text(subtitle)); },
           .progress = [this](float progress) { showProgress(progress); },
           .end = [this](const updater::outcome_t& outcome) { showOutcome(outcome); },
           .ask_kind = [this](std::function<void(std::optional<kind_t>)> answer) { askKind(std::move(answer)); },
           .device_phases = [this](bool active) { active ? inhibitor_.hold() : inhibitor_.release(); },
           .entered = {},
           .log = {}})) {
    qApp->installEventFilter(this);
    LogWindow::logWindow();  // captures standard error from now on
}

// A live run ends here, while the windows its end touches are still there.
Application::~Application() {
    engine_.shut_down();
    delete sheet_.data();
    if (running_application() == this) set_running_application(nullptr);
}

void Application::prepareLaunch() { hasLaunched_ = false; }

void Application::finishLaunch() {
    window_ = std::make_unique<UpdateWindow>();
    connect(window_.get(), &UpdateWindow::updateRequested, this, &Application::runUpdate);
    connect(window_.get(), &UpdateWindow::openRequested, this, &Application::open);
    window_->setUpdateEnabled(false);
    window_->setHasPackage(false);
    if (QMenuBar* menu = main_menu().bar) {
        window_->setMenuBar(menu);
        // F10 opens the menu bar from the keyboard, as elsewhere on the desktop.
        auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), window_.get());
        QObject::connect(menuKey, &QShortcut::activated, menu, [menu] {
            if (!menu->actions().isEmpty()) menu->setActiveAction(menu->actions().first());
        });
        window_->fitWindowToContent();  // the menu bar comes on top of the content's size
    }
    sheet_ = new UpdateSheet;
    connect(sheet_, &UpdateSheet::cancelRequested, this, &Application::cancelUpdate);
    connect(sheet_, &UpdateSheet::helpRequested, this, &Application::showWebHelp);
    addUpdateActions();
    window_->show();
    window_->raise();
    window_->activateWindow();
    hasLaunched_ = true;
    if (!urlToLoad_.isEmpty()) {
        if (openPackage(urlToLoad_)) hasAlreadyLoadedFirstUpdate_ = true;
        urlToLoad_.clear();
    }
    if (!hasAlreadyLoadedFirstUpdate_) {
        if (openBundledPackage())
            hasAlreadyLoadedFirstUpdate_ = true;
        else
            open();
    }
}

bool Application::confirmQuit() {
    if (!inUpdate_ || quitConfirmed_) return true;
    QMessageBox question(QMessageBox::Warning, QString(), localized("ZALQuitDuringUpdateTitle"), QMessageBox::NoButton,
                         window_.get());
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

bool Application::eventFilter(QObject* watched, QEvent* event) {
    // A held Return repeats: only the first press may start or accept anything.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !takes_typing(watched))
            return true;
    }
    if (event->type() == QEvent::Close && window_ && watched == window_.get() && !confirmQuit()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void Application::showWebHelp() {
    const QString address = localized("ZALTroubleshootingURL");
    open_url(QUrl(address), [self = QPointer<Application>(this), address] {
        if (!self || !self->window_) return;
        auto* alert = new QMessageBox(QMessageBox::Information, QString(), Messages::tr("Troubleshooting"),
                                      QMessageBox::Ok, self->window_.get());
        alert->setInformativeText(localized("ZALNoBrowser").arg(address));
        alert->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        alert->setWindowModality(Qt::WindowModal);
        self->presentAlert(alert, [self](QAbstractButton*) {
            if (self) self->enableControls();
        });
    });
}

bool Application::isActionEnabled(const QAction* item) const {
    if (item == updateAction_) return !inUpdate_ && hasUpdate_;  // nothing to install without a package
    if (item == openAction_) return !inUpdate_;
    return true;
}

void Application::updateActions() {
    for (QAction* item : {updateAction_.data(), openAction_.data()})
        if (item) item->setEnabled(isActionEnabled(item));
}

void Application::addUpdateActions() {
    QMenu* file = main_menu().file;
    if (!file) return;
    QAction* first = file->actions().isEmpty() ? nullptr : file->actions().first();
    QAction* separator = file->insertSeparator(first);
    openAction_ = new QAction(Messages::tr("Open another update…"), file);
    openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    openAction_->setAutoRepeat(false);
    file->insertAction(separator, openAction_);
    updateAction_ = new QAction(Messages::tr("Update"), file);
    updateAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    updateAction_->setAutoRepeat(false);
    file->insertAction(openAction_, updateAction_);
    QObject::connect(openAction_, &QAction::triggered, this, [this] { open(); });
    QObject::connect(updateAction_, &QAction::triggered, this, [this] { runUpdate(); });
    updateActions();
}

void Application::cancelUpdate() {
    endUpdate();
    if (cancelHasConsequences_) showAlert(Messages::tr("Update canceled"), localized("ZALUpdateCancelMessage"));
}

// Not the notes: Return there follows links.
void Application::focusMainControl() {
    if (!window_) return;
    if (window_->updateButton()->isEnabled())
        window_->updateButton()->setFocus();
    else if (!window_->hasPackage())
        window_->openButton()->setFocus();
}

void Application::disableControls() {
    window_->setUpdateEnabled(false);
    window_->setDetailsEnabled(false);
}

void Application::enableControls() {
    window_->setUpdateEnabled(hasUpdate_);
    window_->setDetailsEnabled(true);
}

}  // namespace zal::gui
