// SPDX-License-Identifier: MIT
#pragma once

// Records an engine's runs in the update history: the program hands the
// engine `recording(callbacks)` instead of its own callbacks, and calls
// `begin` as it starts each run.

#include <cstdint>
#include <mutex>
#include <string>

#include "update/update.hpp"
#include "updater/history.hpp"
#include "updater/updater.hpp"

namespace zal::updater {

class run_recorder_t {
public:
    // `program`: "application" or "cli", as the history names it. `history`
    // outlives the recorder.
    run_recorder_t(history_t& history, std::string program);

    // The program's callbacks, each also recording: the run's state as it
    // enters a phase, its log lines, and its end (recorded before the program
    // is told, so that a run started from `shown.end` is recorded after it).
    // Uses `this`: the recorder outlives the engine.
    callbacks_t recording(callbacks_t shown);

    // Before engine_t::start: the run's start, in one transaction.
    void begin(const update_t& update, kind_t kind, const std::string& usb_port);

private:
    void record(const run_state_t& state, const outcome_t* outcome);

    history_t& history_;
    const std::string program_;
    std::mutex mutex_;  // the log comes from the programming workers too
    int64_t id_ = 0;
    run_record_t record_;
    std::string pending_log_;
    std::size_t logged_bytes_ = 0;
};

// "2026-12-01" for a date, "" for none.
std::string date_text(const date_t& date);

}  // namespace zal::updater
