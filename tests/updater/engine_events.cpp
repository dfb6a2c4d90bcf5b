// SPDX-License-Identifier: MIT
#include "tests/updater/engine_events.hpp"

namespace zal::testing {

updater::callbacks_t engine_events_t::callbacks() {
    return {.announce =
                [this](const char* title, const char* subtitle) {
                    titles.emplace_back(title);
                    subtitles.emplace_back(subtitle);
                },
            .progress = [this](float value) { progress.push_back(value); },
            .end =
                [this](const updater::outcome_t& outcome) {
                    ends.push_back(outcome);
                    if (on_end_hook) on_end_hook();
                },
            .ask_kind =
                [this](const std::function<void(std::optional<kind_t>)>& answer) {
                    ++kind_questions;
                    if (auto hook = std::move(kind_question_hook)) hook();
                    answer(kind_answer);
                },
            .device_phases = {},
            .entered = {},
            .log = {}};
}

}  // namespace zal::testing
