// SPDX-License-Identifier: MIT
#include "updater/log.hpp"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "common/text/printable.hpp"

namespace zal::updater {

std::string device_label(const std::string& usb_port, kind_t kind) {
    std::string label = printable(usb_port);
    if (kind != kind_t::any) {
        if (!label.empty()) label += ' ';
        label += kind_name(kind);
    }
    return label.empty() ? label : "[" + label + "] ";
}

std::string log_time_prefix() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec, int(ms));
    return text;
}

void vlog_line(const log_target_t& to, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    // Escaped here, whatever its arguments held: every reader of the log
    // (terminal, history, window) gets it so.
    const std::string line = log_time_prefix() + printable(to.label + text);
    if (to.on_stderr) write_line(stderr, line);
    if (to.listener) to.listener(line);
}

void log_line(const log_target_t& to, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vlog_line(to, format, arguments);
    va_end(arguments);
}

}  // namespace zal::updater
