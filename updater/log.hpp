// SPDX-License-Identifier: MIT
#pragma once

// A run's log lines, on stderr, each with the time of day and naming its device
// ("18:42:07.123 [1-1.4 Ventaro] Sent bootloader request."), so that the lines
// of runs on several devices at once can be told apart. The application
// collects stderr; a run's listener (its history record, the command-line
// tool's --verbose) gets its lines too.

#include <cstdarg>
#include <functional>
#include <string>

#include "updater/kind.hpp"

namespace zal::updater {

// "[1-1.4 Ventaro] ", "[1-1.4] ", "[Ventaro] ", or nothing while neither is known.
std::string device_label(const std::string& usb_port, kind_t kind);

// Where a run's lines go: the label names the device; the listener, called on
// the logging thread, gets each whole line without its newline; stderr too
// unless `on_stderr` is false.
struct log_target_t {
    log_target_t(std::string line_label = {}, std::function<void(const std::string&)> line_listener = {},
                 bool also_on_stderr = true)
        : label(std::move(line_label)), listener(std::move(line_listener)), on_stderr(also_on_stderr) {}
    std::string label;
    std::function<void(const std::string& line)> listener;
    bool on_stderr;
};

// "18:42:07.123 ": the local time of day that begins every log line.
std::string log_time_prefix();

// One line: the label, then the printf-style text and a newline. Any thread.
void log_line(const log_target_t& to, const char* format, ...) __attribute__((format(printf, 2, 3)));
void vlog_line(const log_target_t& to, const char* format, va_list arguments) __attribute__((format(printf, 2, 0)));

}  // namespace zal::updater
