// SPDX-License-Identifier: MIT
// The application: a run of the engine, from its start to its end and the offer that follows.
#include "app/application.hpp"

#include <QPushButton>

#include <cmath>
#include <stdexcept>

#include "app/factories.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/text/printable.hpp"
#include "updater/package_verdict.hpp"

namespace zal::gui {

namespace {

kind_t counterpart_of(kind_t kind) {
    return kind == kind_t::ventaro ? kind_t::ruvo : kind == kind_t::ruvo ? kind_t::ventaro : kind_t::any;
}

}  // namespace

void Application::runUpdate() { startUpdate(kind_t::any); }

void Application::startUpdate(kind_t kind) {
    // Without a package a run would reboot the device for nothing.
    if (!hasUpdate_ || inUpdate_) return;
    const updater::package_verdict_t verdict = updater::package_verdict(
        update_, settings_.trust, false, &history_, kind == kind_t::any ? std::nullopt : std::optional(kind));
    switch (verdict.decision) {
        case updater::decision_t::install: beginRun(kind); break;
        case updater::decision_t::ask:
            askToInstallAnyway(said(*verdict.refusal), [this, kind] { beginRun(kind); });
            break;
        case updater::decision_t::refuse:
            showAlert(said(*verdict.refusal), verdict.older ? said(*verdict.older) : QString());
            break;
    }
}

void Application::askToInstallAnyway(const QString& why, std::function<void()> install) {
    auto* question =
        new QMessageBox(QMessageBox::Warning, app_name(QString()), Messages::tr("Install this firmware all the same?"),
                        QMessageBox::NoButton, window_.get());
    question->setInformativeText(why);
    QPushButton* anyway = question->addButton(Messages::tr("Install Anyway"), QMessageBox::AcceptRole);
    QPushButton* cancel = question->addButton(Messages::tr("Cancel"), QMessageBox::RejectRole);
    question->setDefaultButton(cancel);
    question->setEscapeButton(cancel);
    presentAlert(question, [this, anyway, install = std::move(install)](QAbstractButton* clicked) {
        enableControls();
        if (clicked == anyway && hasUpdate_ && !inUpdate_) install();
    });
}

void Application::beginRun(kind_t kind) {
    disableControls();
    sheet_->setTitle(Messages::tr("Preparing the update…"));
    sheet_->setSubtitle(QString());
    sheet_->setCancelable(false);
    sheet_->setProgress(2.0);
    sheet_->showOver(window_.get());
    inUpdate_ = true;
    updateActions();
    cancelHasConsequences_ = false;
    emit runStarted(kind);
    if (settings_.records_history) recorder_.begin(update_, kind, {});
    engine_.start(kind, update_);
    // The engine may have ended the run inside start (no MIDI or HID access,
    // the kind question declined, the first send failing): then the run is over already.
    if (!engine_.running()) {
        if (inUpdate_) endUpdate();
        return;
    }
    sheet_->setHelp(localized("ZALUpdateClickHelp"));
    sheet_->setCancelable(true);
    cancelHasConsequences_ = false;
}

void Application::endUpdate() {
    engine_.cancel();
    sheet_->dismiss();
    enableControls();
    inUpdate_ = false;
    quitConfirmed_ = false;
    updateActions();
    focusMainControl();
}

void Application::offerCounterpartUpdate(kind_t kind) {
    const char* message = "ZALUpdateSuccessMessage";
    const kind_t counterpart = counterpart_of(kind);
    const bool has_counterpart = (kind == kind_t::ventaro && update_.ruvo) || (kind == kind_t::ruvo && update_.ventaro);
    if (has_counterpart) {
        if (counterpart != lastCounterpartUpdated_) {
            const QString name = QString::fromLatin1(kind_name(counterpart));
            auto* alert = new QMessageBox(QMessageBox::Information, app_name(QString()),
                                          Messages::tr("Update successful"), QMessageBox::NoButton, window_.get());
            alert->setInformativeText(localized("ZALUpdateSuccessMessageWithCounterpart").arg(name));
            QPushButton* accept = alert->addButton(Messages::tr("Update my %1").arg(name), QMessageBox::AcceptRole);
            QPushButton* end = alert->addButton(Messages::tr("End"), QMessageBox::RejectRole);
            alert->setDefaultButton(accept);
            alert->setEscapeButton(end);
            alert->setWindowModality(Qt::WindowModal);
            presentAlert(alert,
                         [this, kind, counterpart, accept = QPointer<QPushButton>(accept)](QAbstractButton* clicked) {
                             counterpartAnswered(clicked && clicked == accept, kind, counterpart);
                         });
            return;
        }
        message = "ZALUpdateSuccessMessageBoth";
    }
    showAlert(Messages::tr("Update successful"), localized(message), QMessageBox::Information);
    lastCounterpartUpdated_ = kind_t::any;
}

void Application::counterpartAnswered(bool accepted, kind_t updated, kind_t counterpart) {
    enableControls();
    if (!accepted) return;
    lastCounterpartUpdated_ = updated;
    startUpdate(counterpart);
}

void Application::showPhase(const QString& title, const QString& subtitle) {
    sheet_->setTitle(title);
    sheet_->setSubtitle(subtitle);
}

void Application::showProgress(float progress) {
    // A device's report that is not a number must not reach the bar.
    if (!std::isfinite(progress)) return;
    sheet_->setProgress(double(progress));
    cancelHasConsequences_ = true;
}

void Application::showOutcome(const updater::outcome_t& outcome) {
    endUpdate();
    checkOlderFirmware();
    switch (outcome.end) {
        case end_t::failure:
            showFailureAlert(Messages::tr("Update failed"),
                             failure_says_next_step(outcome.failure)
                                 ? engine_text(failure_sentence(outcome.failure))
                                 : engine_text(failure_sentence(outcome.failure)) + QStringLiteral("\n\n") +
                                       localized("ZALUpdateErrorMessage"),
                             engine_text(outcome.message.c_str()), true);
            break;
        case end_t::success: offerCounterpartUpdate(outcome.kind); break;
        case end_t::cancelled: break;
    }
    emit runEnded(outcome.end);
}

// Over the progress sheet, without a loop of its own: the run goes on meanwhile.
void Application::askKind(std::function<void(std::optional<kind_t>)> answer) {
    auto* alert = new QMessageBox(QMessageBox::Question, app_name(QString()), localized("ZALIsThisVentaroTitle"),
                                  QMessageBox::NoButton, window_ ? window_.get() : nullptr);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setInformativeText(localized("ZALIsThisVentaroMessage"));
    QPushButton* ventaro = alert->addButton(QStringLiteral("Ventaro"), QMessageBox::AcceptRole);
    QPushButton* ruvo = alert->addButton(QStringLiteral("Ruvo"), QMessageBox::AcceptRole);
    QPushButton* cancel = alert->addButton(Messages::tr("Cancel"), QMessageBox::RejectRole);
    alert->setEscapeButton(cancel);
    alert->setWindowModality(Qt::ApplicationModal);
    decorate_alert(alert);
    QObject::connect(alert, &QMessageBox::finished, this, [alert, ventaro, ruvo, answer = std::move(answer)](int) {
        QAbstractButton* clicked = alert->clickedButton();
        answer(clicked == ventaro ? std::optional(kind_t::ventaro)
               : clicked == ruvo  ? std::optional(kind_t::ruvo)
                                  : std::nullopt);
    });
    alert->show();  // not open(), which would make it window-modal: a sheet
}

}  // namespace zal::gui
