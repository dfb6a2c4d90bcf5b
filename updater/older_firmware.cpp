// SPDX-License-Identifier: MIT
#include "updater/older_firmware.hpp"

#include "updater/run_recorder.hpp"

namespace zal::updater {

result_t<std::optional<newer_installed_t>> newer_firmware_installed(history_t& history, const update_t& update,
                                                                    std::optional<kind_t> only) {
    std::optional<newer_installed_t> newest;
    for (const kind_t kind : {kind_t::ventaro, kind_t::ruvo}) {
        const bool in_package = kind == kind_t::ventaro ? update.ventaro.has_value() : update.ruvo.has_value();
        if (!in_package || (only && *only != kind)) continue;
        const result_t<std::optional<installed_t>> last = history.last_installed(kind);
        if (!last) return last.failure();
        const std::optional<installed_t>& installed = *last;
        if (!installed) continue;
        const int by_version = compare_versions(update.version_string, installed->version);
        const bool older =
            by_version < 0 || (by_version == 0 && date_text(update.release_date) < installed->release_date);
        if (older && (!newest || installed->ended_ms > newest->installed.ended_ms)) newest = {kind, *installed};
    }
    return newest;
}

older_firmware_verdict_t older_firmware_verdict(history_t& history, const update_t& update, std::optional<kind_t> only,
                                                bool refuse_downgrade) {
    older_firmware_verdict_t verdict;
    result_t<std::optional<newer_installed_t>> newer = newer_firmware_installed(history, update, only);
    if (!newer) {
        verdict.unreadable = newer.failure().text;
        verdict.refused = verdict.overridable = refuse_downgrade;
        return verdict;
    }
    verdict.newer = std::move(*newer);
    verdict.refused = refuse_downgrade && verdict.newer.has_value();
    return verdict;
}

std::string local_date(int64_t unix_ms) { return local_time(unix_ms, "%Y-%m-%d"); }

}  // namespace zal::updater
