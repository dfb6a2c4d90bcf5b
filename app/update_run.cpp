// SPDX-License-Identifier: MIT
#include "app/update_run.hpp"

#include <QMessageBox>
#include <QPushButton>

#include <cmath>

#include "app/factories.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"

namespace zal::gui {

UpdateRun::UpdateRun(updater::history_t& history, bool recordsHistory)
    : recorder_(history, "application"),
      recordsHistory_(recordsHistory),
      sheet_(new UpdateSheet),
      engine_(recorder_.recording(
          {.announce = [this](const char* title,
                              const char* subtitle) { showPhase(engine_text(title), engine_text(subtitle)); },
           .progress = [this](float progress) { showProgress(progress); },
           .end =
               [this](const updater::outcome_t& outcome) {
                   closeKindQuestion();
                   emit ended(outcome);
               },
           .ask_kind = [this](std::function<void(std::optional<kind_t>)> answer) { askKind(std::move(answer)); },
           .device_phases = [this](bool active) { active ? inhibitor_.hold() : inhibitor_.release(); },
           // The question is asked only while the run waits for its device.
           .entered =
               [this](const updater::run_state_t& state) {
                   if (state.phase != updater::phase_t::waiting_for_device) closeKindQuestion();
               },
           .log = {}})) {}

// Stopped before the sheet its callbacks fill goes.
UpdateRun::~UpdateRun() {
    engine_.shut_down();
    delete sheet_.data();
}

bool UpdateRun::start(const update_t& update, kind_t kind, QWidget* window) {
    window_ = window;
    sheet_->setTitle(Messages::tr("Preparing the update…"));
    sheet_->setSubtitle(QString());
    sheet_->setCancelable(false);
    sheet_->setProgress(2.0);
    sheet_->showOver(window);
    cancelHasConsequences_ = false;
    if (recordsHistory_) recorder_.begin(update, kind, {});
    engine_.start(kind, update);
    if (!engine_.running()) return false;
    sheet_->setHelp(localized("ZALUpdateClickHelp"));
    sheet_->setCancelable(true);
    cancelHasConsequences_ = false;
    return true;
}

void UpdateRun::stop() {
    closeKindQuestion();
    engine_.cancel();
    sheet_->dismiss();
}

void UpdateRun::showPhase(const QString& title, const QString& subtitle) {
    sheet_->setTitle(title);
    sheet_->setSubtitle(subtitle);
}

void UpdateRun::showProgress(float progress) {
    // A device's report that is not a number must not reach the bar.
    if (!std::isfinite(progress)) return;
    sheet_->setProgress(double(progress));
    cancelHasConsequences_ = true;
}

void UpdateRun::askKind(std::function<void(std::optional<kind_t>)> answer) {
    auto* alert = new QMessageBox(QMessageBox::Question, app_name(QString()), localized("ZALIsThisVentaroTitle"),
                                  QMessageBox::NoButton, window_);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    kindQuestion_ = alert;
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

// Its moment has passed: closed without an answer, which would now cancel
// whatever the run does.
void UpdateRun::closeKindQuestion() {
    if (!kindQuestion_) return;
    kindQuestion_->disconnect(this);
    kindQuestion_->close();
}

}  // namespace zal::gui
