// SPDX-License-Identifier: MIT
#include "updater/run_recorder.hpp"

#include <cstdio>

namespace zal::updater {

std::string date_text(const date_t& date) {
    if (date.year == 0) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned(date.year), unsigned(date.month), unsigned(date.day));
    return text;
}

run_recorder_t::run_recorder_t(history_t& history, std::string program)
    : history_(history), program_(std::move(program)) {}

callbacks_t run_recorder_t::recording(callbacks_t shown) {
    callbacks_t c = std::move(shown);
    c.entered = [this, entered = std::move(c.entered)](const run_state_t& state) {
        record(state, nullptr);
        if (entered) entered(state);
    };
    c.log = [this, log = std::move(c.log)](const std::string& line) {
        {
            std::lock_guard lock(mutex_);
            if (id_ != 0 && logged_bytes_ < history_t::max_log_bytes) {
                pending_log_ += line;
                pending_log_ += '\n';
                logged_bytes_ += line.size() + 1;
            }
        }
        if (log) log(line);
    };
    c.end = [this, end = std::move(c.end)](const outcome_t& outcome) {
        record(outcome.last, &outcome);
        end(outcome);
    };
    return c;
}

void run_recorder_t::begin(const update_t& update, kind_t kind, const std::string& usb_port) {
    run_record_t start;
    start.program = program_;
    start.started_ms = now_ms();
    start.kind = kind_word(kind);
    start.usb_port = usb_port;
    start.product = update.product;
    start.version = update.version_string;
    start.release_date = date_text(update.release_date);
    start.package_sha256 = update.package_sha256;
    start.signature = status_name(update.signature.status);
    // A signer's name is only as good as the signature: an unknown key's is anyone's claim.
    if (update.signature.status == signature_status_t::signed_package) start.signer = update.signature.signer;
    start.phase = phase_word(phase_t::waiting_for_device);
    const int64_t id = history_.begin(start);
    std::lock_guard lock(mutex_);
    id_ = id;
    record_ = start;
    pending_log_.clear();
    logged_bytes_ = 0;
}

// One transaction: the run's state, its log since the last one, and its end.
void run_recorder_t::record(const run_state_t& state, const outcome_t* outcome) {
    std::string more_log;
    int64_t id = 0;
    run_record_t now;
    {
        std::lock_guard lock(mutex_);
        if (id_ == 0) return;
        id = id_;
        more_log.swap(pending_log_);
        if (state.device_kind != kind_t::any) record_.kind = kind_word(state.device_kind);
        if (!state.usb_port.empty()) record_.usb_port = state.usb_port;
        if (state.found) record_.found = state_word(*state.found);
        if (state.phase != phase_t::idle) record_.phase = phase_word(state.phase);
        record_.roundtrips = state.roundtrips;
        if (outcome) {
            record_.ended_ms = now_ms();
            record_.outcome = outcome_word(outcome->end);
            if (outcome->end == end_t::failure) {
                record_.failure = failure_word(outcome->failure);
                record_.message = outcome->message;
            }
            id_ = 0;  // the run is over: what it still logs belongs to no run
        }
        now = record_;
    }
    history_.update(id, now, more_log);
}

}  // namespace zal::updater
