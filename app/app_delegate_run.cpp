// SPDX-License-Identifier: MIT
// The application's controller: a run of the engine, from its start to its end and the offer that follows.
#include "app/app_delegate.hpp"

#include <QPushButton>

#include <cmath>
#include <stdexcept>

#include "app/shell.hpp"
#include "app/strings.hpp"

namespace zal::gui {

namespace {

kind_t counterpart_of(kind_t kind) {
    return kind == kind_t::ventaro ? kind_t::ruvo : kind == kind_t::ruvo ? kind_t::ventaro : kind_t::any;
}

}  // namespace

void AppDelegate::runUpdate() { runUpdateWithKind(kind_t::any); }

void AppDelegate::runUpdateWithKind(kind_t kind) {
    // Without a package a run would reboot the device for nothing.
    if (!hasUpdate_ || inUpdate_) return;
    disableControls();
    sheetCtrl_->setTitle(Messages::tr("Preparing the update…"));
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
        runErrorAlertWithTitle(Messages::tr("Error"),
                               what ? engine_text(what) : Messages::tr("An error has occurred during the update."));
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

void AppDelegate::askForCounterpartUpdateIfNeededWithKind(kind_t kind) {
    const char* message = "ZALUpdateSuccessMessage";
    const kind_t counterpart = counterpart_of(kind);
    const bool has_counterpart = (kind == kind_t::ventaro && update_.ruvo) || (kind == kind_t::ruvo && update_.ventaro);
    if (has_counterpart) {
        if (counterpart != lastCounterpartUpdated_) {
            const QString name = QString::fromLatin1(kind_name(counterpart));
            auto* alert =
                new QMessageBox(QMessageBox::Information, app_name(QString()), Messages::tr("Update successful"),
                                QMessageBox::NoButton, windowCtrl_->window());
            alert->setInformativeText(format(localized("ZALUpdateSuccessMessageWithCounterpart"), name));
            QPushButton* accept = alert->addButton(format(Messages::tr("Update my %s"), name), QMessageBox::AcceptRole);
            QPushButton* end = alert->addButton(Messages::tr("End"), QMessageBox::RejectRole);
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
    runErrorAlertWithTitle(Messages::tr("Update successful"), localized(message), QMessageBox::Information);
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

void AppDelegate::updaterOnEnd(const updater::outcome_t& outcome) {
    endUpdate();
    switch (outcome.end) {
        case end_t::failure:
            runFailureAlertWithTitle(Messages::tr("Update failed"),
                                     localized(plain_failure_key(outcome.failure)) + QStringLiteral("\n\n") +
                                         localized("ZALUpdateErrorMessage"),
                                     engine_text(outcome.message.c_str()));
            break;
        case end_t::success: askForCounterpartUpdateIfNeededWithKind(outcome.kind); break;
        case end_t::cancelled: break;
    }
    if (onRunEnded) onRunEnded(outcome.end);
}

// Over the progress sheet, without a loop of its own: the run goes on meanwhile.
void AppDelegate::askKind(std::function<void(std::optional<kind_t>)> answer) {
    auto* alert = new QMessageBox(QMessageBox::Question, app_name(QString()), localized("ZALIsThisVentaroTitle"),
                                  QMessageBox::NoButton, windowCtrl_ ? windowCtrl_->window() : nullptr);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setInformativeText(localized("ZALIsThisVentaroMessage"));
    QPushButton* ventaro = alert->addButton(QStringLiteral("Ventaro"), QMessageBox::AcceptRole);
    QPushButton* ruvo = alert->addButton(QStringLiteral("Ruvo"), QMessageBox::AcceptRole);
    QPushButton* cancel = alert->addButton(Messages::tr("Cancel"), QMessageBox::RejectRole);
    alert->setEscapeButton(cancel);
    alert->setWindowModality(Qt::ApplicationModal);
    decorateAlert(alert);
    QObject::connect(alert, &QMessageBox::finished, this, [alert, ventaro, ruvo, answer = std::move(answer)](int) {
        QAbstractButton* clicked = alert->clickedButton();
        answer(clicked == ventaro ? std::optional(kind_t::ventaro)
               : clicked == ruvo  ? std::optional(kind_t::ruvo)
                                  : std::nullopt);
    });
    alert->show();  // not open(), which would make it window-modal: a sheet
}

}  // namespace zal::gui
