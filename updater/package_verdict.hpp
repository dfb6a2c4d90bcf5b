// SPDX-License-Identifier: MIT
#pragma once

// Whether a package may be installed on this computer, and what the user is
// told about it: decided once, here, for the window and the terminal alike,
// before any device is touched.

#include <optional>
#include <string>

#include "update/update.hpp"
#include "updater/history.hpp"
#include "updater/sentences.hpp"

namespace zal::updater {

struct newer_installed_t {
    kind_t kind;
    installed_t installed;
    std::string usb_port;  // the device's, where the notice may name it
};

// The latest firmware this computer installed on a device the package is for
// (of kind `only`, when given), when the package is older than it: by
// version, then by release date. A history that cannot be read is a failure:
// an older firmware cannot then be ruled out.
result_t<std::optional<newer_installed_t>> newer_firmware_installed(history_t& history, const update_t& update,
                                                                    std::optional<kind_t> only = std::nullopt);

enum class decision_t {
    install,
    ask,  // only the user may take the decision (a confirmation, --allow-older)
    refuse,
};

struct package_verdict_t {
    decision_t decision = decision_t::install;
    // Who signed the package; absent when the package is refused for its signature.
    std::optional<sentence_t> signature;
    // Going back to older firmware is sometimes what support asks for: the
    // user decides (`ask`), unless the administrator refuses it.
    std::optional<sentence_t> older;
    std::optional<newer_installed_t> newer;
    // Why the package is refused, or what the user is asked to decide beyond `older`.
    std::optional<sentence_t> refusal;
    // The signature check's own words, for a package changed after it was signed.
    std::string details;
};

// `history` null: the signature only, as when a package is opened; the
// history is asked when the update starts. `require_signature`: this
// computer's or this run's. The administrator's `refuse_downgrade` counts with
// required signatures only, since otherwise any package could claim a later
// version; then a history that cannot be read refuses too (`ask`), as a
// policy that cannot be checked must. `usb_port`: where the device of kind
// `only` is plugged in, named in what the user is told.
package_verdict_t package_verdict(const update_t& update, const trust_t& trust, bool require_signature,
                                  history_t* history, std::optional<kind_t> only = std::nullopt,
                                  const std::string& usb_port = {});

// The notice of a package older than `newer`, installed on `day` as the
// program writes a date in the user's language (the verdict's own `older`
// has it as "2026-12-01", for scripts).
sentence_t older_notice(const newer_installed_t& newer, const std::string& day);

// The day a run ended, in local time: "2026-12-01".
std::string local_date(int64_t unix_ms);

}  // namespace zal::updater
