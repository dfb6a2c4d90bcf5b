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
// version, then by release date. A history that cannot be read is a failure:
// an older firmware cannot then be ruled out.
result_t<std::optional<newer_installed_t>> newer_firmware_installed(history_t& history, const update_t& update,
                                                                    std::optional<kind_t> only = std::nullopt);

// Going back to older firmware on this computer, for one package.
struct older_firmware_verdict_t {
    std::optional<newer_installed_t> newer;  // installed here, and newer than the package
    std::string unreadable;                  // why the history could not be read, when it could not
    // The administrator refuses older signed firmware (`refuse_downgrade`) and
    // the package is older, or the history cannot show that it is not: a
    // policy that cannot be checked refuses. Only the latter may be overridden
    // by the user (`overridable`), who then takes the decision.
    bool refused = false;
    bool overridable = false;
};

older_firmware_verdict_t older_firmware_verdict(history_t& history, const update_t& update, std::optional<kind_t> only,
                                                bool refuse_downgrade);

// The day a run ended, in local time: "2026-12-01".
std::string local_date(int64_t unix_ms);

}  // namespace zal::updater
