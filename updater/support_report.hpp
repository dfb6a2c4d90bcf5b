// SPDX-License-Identifier: MIT
#pragma once

// A support report: one plain-text file a user can attach to an e-mail when an
// update went wrong. It holds the last runs with their logs and what the
// computer offers the updater; nothing else of the user's system, and neither
// the user's name nor home folder.

#include <string>
#include <vector>

#include "updater/history.hpp"

namespace zal::updater {

// What the program tells of itself; the report finds the rest.
struct report_facts_t {
    std::string program;                  // "ventaro-update-cli 1.0.0"
    std::string qt_version;               // the Qt the program runs on, or what it was built with
    std::vector<std::string> inhibitors;  // "logind: available", ...
    std::vector<std::string> trusted_key_ids;
};

// Needs the HID and MIDI layers set up, to list the connected devices. The
// last 20 runs come with their logs (each cut to its last 32 KiB), every other
// run kept as one line.
std::string support_report(history_t& history, const report_facts_t& facts);

// Writes a report to PATH for the user alone (0600), never through a symbolic
// link someone left at that name.
result_t<void> write_report(const std::string& path, const std::string& report);

// `text` with `home` (and any path below it) written "~" and the user's name,
// as a whole path component, written "USER".
std::string without_user(std::string text, const std::string& home, const std::string& user);

}  // namespace zal::updater
