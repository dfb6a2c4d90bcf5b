// SPDX-License-Identifier: MIT
// The application: whether a run may start, its start and end, and the offer that follows.
#include "app/application.hpp"

#include <QPushButton>

#include <stdexcept>

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
    if (!hasUpdate_ || inUpdate_ || feedJob_) return;
    const updater::package_verdict_t verdict =
        updater::package_verdict(update_, trustFor(packageFromFeed_), false, &history_,
                                 kind == kind_t::any ? std::nullopt : std::optional(kind));
    switch (verdict.decision) {
        case updater::decision_t::install: beginRun(kind); break;
        case updater::decision_t::ask:
            askToInstallAnyway(verdict.refusal ? said(*verdict.refusal) : older_notice_text(verdict),
                               [this, kind] { beginRun(kind); });
            break;
        case updater::decision_t::refuse:
            showAlert(said(*verdict.refusal), verdict.older ? older_notice_text(verdict) : QString());
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
    inUpdate_ = true;
    updateActions();
    emit runStarted(kind);
    // The engine may have ended the run inside start, and with it this update.
    if (!run_.start(update_, kind, window_.get()) && inUpdate_) endUpdate();
}

void Application::endUpdate() {
    run_.stop();
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
                             engine_text(printable(outcome.message).c_str()), true);
            break;
        case end_t::success: offerCounterpartUpdate(outcome.kind); break;
        case end_t::cancelled: break;
    }
    emit runEnded(outcome.end);
}

}  // namespace zal::gui
