// SPDX-License-Identifier: MIT
#include "updater/log.hpp"

#include <cstdarg>
#include <cstdio>

#include "common/text/printable.hpp"

namespace zal::updater {

std::string device_label(const std::string& usb_port, kind_t kind) {
    std::string label = printable(usb_port);
    if (kind != kind_t::any) label += (label.empty() ? "" : " ") + std::string(kind_name(kind));
    return label.empty() ? label : "[" + label + "] ";
}

void vlog_line(const log_target_t& to, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    const std::string line = to.label + text;
    // One call, so that the lines of two workers never interleave.
    std::fprintf(stderr, "%s\n", line.c_str());
    if (to.listener) to.listener(line);
}

void log_line(const log_target_t& to, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vlog_line(to, format, arguments);
    va_end(arguments);
}

}  // namespace zal::updater
