// SPDX-License-Identifier: MIT
#pragma once

// A run of the update engine as the user follows it: the engine and the
// recorder that keeps its runs in the history, the session held while a
// device is written, and the progress sheet over the update window, with the
// question of which device is connected. Whether a run may start, and what
// its end means to the user, is its owner's to say.

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

#include "app/session/session_inhibitor.hpp"
#include "app/update_sheet.hpp"
#include "update/update.hpp"
#include "updater/history.hpp"
#include "updater/run_recorder.hpp"
#include "updater/updater.hpp"

namespace zal::gui {

class UpdateRun : public QObject {
    Q_OBJECT

public:
    // Runs go into `history` when `recordsHistory`.
    UpdateRun(updater::history_t& history, bool recordsHistory);
    ~UpdateRun() override;

    // Shows the sheet over `window` and starts the engine on `update`; false
    // when the engine ended the run inside start (no MIDI or HID access, the
    // kind question declined, the first send failing).
    bool start(const update_t& update, kind_t kind, QWidget* window);
    // Stops the engine and takes the sheet away.
    void stop();
    // The device has been written to: stopping now leaves it in its updater.
    bool cancelHasConsequences() const { return cancelHasConsequences_; }

    // The engine's announcements, its titles translated.
    void showPhase(const QString& title, const QString& subtitle);
    void showProgress(float progress);

    UpdateSheet* sheet() const { return sheet_.data(); }
    updater::engine_t& engine() { return engine_; }

signals:
    // The engine's end; a failure's message comes as the engine said it, in English.
    void ended(const updater::outcome_t& outcome);

private:
    // Over the progress sheet, without a loop of its own: the run goes on meanwhile.
    void askKind(std::function<void(std::optional<kind_t>)> answer);
    void closeKindQuestion();

    updater::run_recorder_t recorder_;
    const bool recordsHistory_;
    bool cancelHasConsequences_ = false;
    session::SessionInhibitor inhibitor_{true};  // held while the engine writes a device
    // Deleted here or, while it is over the window, with the window.
    QPointer<UpdateSheet> sheet_;
    QPointer<QWidget> window_;            // what the sheet and the kind question show over
    QPointer<QMessageBox> kindQuestion_;  // while it is open
    // Last, so that it stops before what its callbacks use goes.
    updater::engine_t engine_;
};

}  // namespace zal::gui
