// SPDX-License-Identifier: MIT
#pragma once

#include <regex>
#include <string>

// A captured log without the time of day that begins each line ("18:42:07.123 ").
inline std::string without_times(const std::string& log) {
    static const std::regex time(R"((^|\n)\d\d:\d\d:\d\d\.\d\d\d )");
    return std::regex_replace(log, time, "$1");
}
