// SPDX-License-Identifier: MIT
#pragma once

// A run's log lines, on stderr, each naming its device ("[1-1.4 Ventaro] Sent
// bootloader request."), so that the lines of runs on several devices at once
// can be told apart. The application and the command-line tool collect stderr.

#include <cstdarg>
#include <string>

#include "updater/kind.hpp"

namespace zal::updater {

// "[1-1.4 Ventaro] ", "[1-1.4] ", "[Ventaro] ", or nothing while neither is known.
std::string device_label(const std::string& usb_port, kind_t kind);

// One line: the label, then the printf-style text and a newline. Any thread.
void log_line(const std::string& label, const char* format, ...) __attribute__((format(printf, 2, 3)));
void vlog_line(const std::string& label, const char* format, va_list arguments) __attribute__((format(printf, 2, 0)));

}  // namespace zal::updater
