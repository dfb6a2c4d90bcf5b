// SPDX-License-Identifier: MIT
// The application: launching, quitting, menus and keys.
#include "app/application.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include "app/log_window.hpp"
#include "app/markdown/markdown_parser.hpp"  // the parser the application owns, for its destructor
#include "app/factories.hpp"
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

Application::Application(settings_t settings) : settings_(std::move(settings)) {
    connect(&run_, &UpdateRun::ended, this, &Application::showOutcome);
    connect(run_.sheet(), &UpdateSheet::cancelRequested, this, &Application::cancelUpdate);
    connect(run_.sheet(), &UpdateSheet::helpRequested, this, &Application::showWebHelp);
    qApp->installEventFilter(this);
    LogWindow::logWindow();  // captures standard error from now on
}

// A live run ends here, while the windows its end touches are still there.
Application::~Application() {
    cancelDownload();
    run_.engine().shut_down();
}

void Application::finishLaunch() {
    window_ = std::make_unique<UpdateWindow>();
    connect(window_.get(), &UpdateWindow::updateRequested, this, &Application::runUpdate);
    connect(window_.get(), &UpdateWindow::openRequested, this, &Application::open);
    connect(window_.get(), &UpdateWindow::checkRequested, this, [this] { checkForFirmware(true); });
    connect(window_->feedBar(), &FeedBar::downloadRequested, this, &Application::downloadFirmware);
    connect(window_->feedBar(), &FeedBar::cancelRequested, this, &Application::cancelDownload);
    connect(window_.get(), &UpdateWindow::historyRequested, this, &Application::showHistory);
    connect(window_.get(), &UpdateWindow::helpRequested, this, &Application::showWebHelp);
    connect(window_.get(), &UpdateWindow::quitRequested, this, &Application::quit);
    window_->setConfirmClose([this] { return confirmQuit(); });
    window_->setUpdateEnabled(false);
    window_->setHasPackage(false);
    updateActions();
    window_->show();
    window_->raise();
    window_->activateWindow();
    hasLaunched_ = true;
    automaticCheck_.setSingleShot(true);
    connect(&automaticCheck_, &QTimer::timeout, this, [this] {
        if (inUpdate_ || feedJob_)
            scheduleAutomaticCheck();
        else
            checkForFirmware(false);
    });
    scheduleAutomaticCheck();
    // A package the user named and that cannot be read is said so; another one
    // taken in its place would be an update the user did not ask for.
    const bool opened = urlToLoad_.isEmpty() ? openBundledPackage() : openPackage(urlToLoad_);
    urlToLoad_.clear();
    // Without one, the window says what a package is before any file chooser.
    if (!opened) focusMainControl();
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
    decorate_alert(&question);
    // A run that ends meanwhile takes the question with it, unanswered.
    connect(this, &Application::runEnded, &question, &QMessageBox::reject);
    question.exec();
    // A termination signal may have answered while the question was up.
    quitConfirmed_ = quitConfirmed_ || question.clickedButton() == quit;
    return quitConfirmed_;
}

void Application::quit() {
    if (!confirmQuit()) return;
    QApplication::closeAllWindows();
    QApplication::quit();
}

void Application::quitWithoutAsking() {
    quitConfirmed_ = true;
    QApplication::closeAllWindows();
    QApplication::quit();
}

bool Application::eventFilter(QObject* watched, QEvent* event) {
    // A held Return repeats: only the first press may start or accept anything.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !takes_typing(watched))
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

void Application::updateActions() {
    // Nothing to install without a package, nor while the feed may change it.
    window_->updateAction()->setEnabled(!inUpdate_ && hasUpdate_ && !feedJob_);
    window_->openAction()->setEnabled(!inUpdate_);
    window_->checkAction()->setEnabled(!inUpdate_ && !feedJob_);
    window_->feedBar()->downloadButton()->setEnabled(!inUpdate_ && !feedJob_);
}

void Application::cancelUpdate() {
    endUpdate();
    if (run_.cancelHasConsequences()) showAlert(Messages::tr("Update canceled"), localized("ZALUpdateCancelMessage"));
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
    window_->setUpdateEnabled(hasUpdate_ && !feedJob_);
    window_->setDetailsEnabled(true);
}

}  // namespace zal::gui
