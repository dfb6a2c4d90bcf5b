// SPDX-License-Identifier: MIT
#pragma once

// `update --all`: every connected Ventaro and Ruvo that the package has
// firmware for, updated at once, one engine per device, each following its
// device by its USB port through its reboots.

#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "devices/simulation.hpp"
#include "update/update.hpp"
#include "updater/history.hpp"
#include "updater/updater.hpp"

namespace zal::cli {

// A simulated device, with the faults named after it on the command line.
struct simulated_t {
    devices::device_choice_t choice;
    std::vector<devices::fault_t> faults;
};

struct update_all_options_t {
    std::optional<kind_t> kind;          // what a first-generation bootloader is; others are left alone
    std::vector<simulated_t> simulated;  // empty: the computer's devices
    bool json_events = false;
    bool quiet = false;                                // errors only
    std::function<void(const std::string& line)> log;  // where the engines' log lines go, besides the history
    updater::history_t* history = nullptr;             // where each run is recorded, if anywhere
    // Whether the package may go on the device of that kind on that port; it
    // says why not.
    std::function<bool(kind_t kind, const std::string& usb_port)> may_install;
};

// The exit status: 0 when every device was updated, 130 when the user
// cancelled, 1 otherwise. `interrupted` (Ctrl+C) cancels every run.
int update_all(const update_all_options_t& options, const update_t& update, std::atomic<bool>& interrupted);

// Shared with the one-device command.
nlohmann::ordered_json end_event(const updater::outcome_t& outcome);
std::string failure_lines(const updater::outcome_t& outcome);
void print_json(const nlohmann::ordered_json& event);
// The engine's log lines on the terminal with --verbose; nothing without.
std::function<void(const std::string&)> terminal_log(bool verbose);

}  // namespace zal::cli
