// SPDX-License-Identifier: MIT
// A recorded run's texts on their way to a terminal, the History window and a
// support report: whatever the database holds, what is printed has no
// control character, printing twice changes nothing, and taking the user's
// name and home out of a report never crashes or grows without bound.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text/printable.hpp"
#include "updater/support_report.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // TEXT, HOME and USER, apart at NUL bytes.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\0');
    const std::string_view text = input.substr(0, first);
    std::string_view home, user;
    if (first != std::string_view::npos) {
        const std::string_view rest = input.substr(first + 1);
        const std::size_t second = rest.find('\0');
        home = rest.substr(0, second);
        if (second != std::string_view::npos) user = rest.substr(second + 1);
    }
    const std::string shown = zal::printable(text);
    for (const char c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    if (zal::printable(shown) != shown) std::abort();
    const std::string report = zal::updater::without_user(std::string(text), std::string(home), std::string(user));
    // "~" and "USER" replace what is at least as long, but for a one-letter name.
    if (report.size() > text.size() * 4 + 4) std::abort();
    return 0;
}
