// SPDX-License-Identifier: MIT
#pragma once

// Going back to older firmware is sometimes what support asks for, so it is
// not refused by default; but the user is told before the update starts.

#include <optional>
#include <string>

#include "update/update.hpp"
#include "updater/history.hpp"

namespace zal::updater {

struct newer_installed_t {
    kind_t kind;
    installed_t installed;
};

// The latest firmware this computer installed on a device the package is for
// (of kind `only`, when given), when the package is older than it: by
// version, then by release date.
std::optional<newer_installed_t> newer_firmware_installed(history_t& history, const update_t& update,
                                                          std::optional<kind_t> only = std::nullopt);

// The day a run ended, in local time: "2026-12-01".
std::string local_date(int64_t unix_ms);

}  // namespace zal::updater
