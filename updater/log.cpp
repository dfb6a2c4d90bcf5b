// SPDX-License-Identifier: MIT
#include "updater/log.hpp"

#include <cstdarg>
#include <cstdio>

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

void vlog_line(const log_target_t& to, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    // Escaped here, whatever its arguments held: every reader of the log
    // (terminal, history, window) gets it so.
    const std::string line = printable(to.label + text);
    write_line(stderr, line);
    if (to.listener) to.listener(line);
}

void log_line(const log_target_t& to, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vlog_line(to, format, arguments);
    va_end(arguments);
}

}  // namespace zal::updater
