// SPDX-License-Identifier: MIT
#include "updater/package_verdict.hpp"

#include "common/text/marked.hpp"
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
        if (older && (!newest || installed->ended_ms > newest->installed.ended_ms)) newest = {kind, *installed, {}};
    }
    return newest;
}

namespace {

sentence_t signature_sentence(const package_signature_t& s) {
    switch (s.status) {
        case signature_status_t::signed_package:
            if (s.signer.empty()) return {ZAL_TEXT("Engine", "Signed by key %1."), {s.key_id}};
            return {ZAL_TEXT("Engine", "Signed by %1 (key %2)."), {s.signer, s.key_id}};
        case signature_status_t::unknown_signer:
            return {ZAL_TEXT("Engine", "This package is not signed by a trusted key (it is signed by key %1)."),
                    {s.key_id}};
        case signature_status_t::changed:
        case signature_status_t::unsigned_package: break;
    }
    return {ZAL_TEXT("Engine", "This package is not signed."), {}};
}

}  // namespace

package_verdict_t package_verdict(const update_t& update, const trust_t& trust, bool require_signature,
                                  history_t* history, std::optional<kind_t> only, const std::string& usb_port) {
    package_verdict_t verdict;
    const package_signature_t& signature = update.signature;
    require_signature = require_signature || trust.require_signature;
    if (signature.status == signature_status_t::changed) {
        verdict.decision = decision_t::refuse;
        verdict.refusal = {ZAL_TEXT("Engine",
                                    "This package was changed after it was signed. Download it again from the maker's "
                                    "web site."),
                           {}};
        verdict.details = signature.reason;
        return verdict;
    }
    if (require_signature && signature.status != signature_status_t::signed_package) {
        verdict.decision = decision_t::refuse;
        verdict.refusal = {ZAL_TEXT("Engine",
                                    "This package is not signed by a trusted key, and this computer accepts only "
                                    "signed packages."),
                           {}};
        return verdict;
    }
    verdict.signature = signature_sentence(signature);
    if (!history) return verdict;
    const bool refuse_downgrade = trust.refuse_downgrade && require_signature;
    const result_t<std::optional<newer_installed_t>> newer = newer_firmware_installed(*history, update, only);
    if (!newer) {
        if (!refuse_downgrade) return verdict;
        verdict.decision = decision_t::ask;
        verdict.refusal = {ZAL_TEXT("Engine",
                                    "The update history cannot be read, so an older firmware cannot be ruled out: "
                                    "%1."),
                           {newer.failure().text}};
        return verdict;
    }
    if (!*newer) return verdict;
    verdict.newer = *newer;
    // A port names the device only where its kind is known.
    const bool one_kind = update.ventaro.has_value() != update.ruvo.has_value();
    if (only || one_kind) verdict.newer->usb_port = usb_port;
    verdict.older = older_notice(*verdict.newer, local_date(verdict.newer->installed.ended_ms));
    verdict.decision = decision_t::ask;
    if (refuse_downgrade) {
        verdict.decision = decision_t::refuse;
        verdict.refusal = {ZAL_TEXT("Engine", "Older firmware is refused on this computer."), {}};
    }
    return verdict;
}

sentence_t older_notice(const newer_installed_t& newer, const std::string& day) {
    const std::string device = kind_name(newer.kind);
    if (!newer.usb_port.empty())
        return {ZAL_TEXT("Engine",
                         "This package is older than the firmware installed on your %1 (USB port %2) on %3 (%4)."),
                {device, newer.usb_port, day, newer.installed.version}};
    return {ZAL_TEXT("Engine", "This package is older than the firmware installed on your %1 on %2 (%3)."),
            {device, day, newer.installed.version}};
}

std::string local_date(int64_t unix_ms) { return local_time(unix_ms, "%Y-%m-%d"); }

}  // namespace zal::updater
