// SPDX-License-Identifier: MIT
#pragma once

// What both front ends tell a user, from one table: English texts of the
// catalogues' context "Engine", which the window and the terminal translate
// alike, then fill with fill() (common/text/printable.hpp).

#include <string>
#include <vector>

#include "common/failure.hpp"
#include "updater/kind.hpp"

namespace zal {

// One thing a user is told: a text whose %1, %2... stand for `values`, which
// come from outside (versions, key ids, reasons) and are shown printable.
struct sentence_t {
    const char* english = nullptr;
    std::vector<std::string> values;
};

// Why a run failed, in a user's words, with what to do where that differs
// from running the update again.
const char* failure_sentence(failure_kind_t kind);
// Whether that sentence says what to do next itself.
bool failure_says_next_step(failure_kind_t kind);

// Why a feed could not be checked or a package not downloaded
// (feed_checker_t's failure codes), with what to do next.
sentence_t feed_failure_sentence(const failure_t& failure);
// "Ventaro firmware 2.3 (2026-12-01) is available.": what a feed offers.
sentence_t offer_sentence(kind_t kind, const std::string& version, const std::string& release_date);
// The feed lists nothing newer than what this computer installed.
extern const char* const feed_up_to_date;
// Why a feed that arrived whole is not believed: an older serial than one
// already read (%1, %2), expired (%1: the date), made in the future (%1).
extern const char* const feed_replayed;
extern const char* const feed_expired;
extern const char* const feed_from_future;

// What the update history shows when it holds no run, or cannot be read (%1: why).
extern const char* const history_empty;
extern const char* const history_unreadable;

}  // namespace zal
