// SPDX-License-Identifier: MIT
#include "tests/updater/engine_events.hpp"

namespace zal::testing {
engine_events_t events;
}

namespace zal::updater {

void on_announce(const char* title, const char* subtitle) {
    testing::events.titles.emplace_back(title);
    testing::events.subtitles.emplace_back(subtitle);
}

void on_progress(float progress) { testing::events.progress.push_back(progress); }

void on_end(end_t end, kind_t kind, const char* message) {
    testing::events.ends.push_back({end, kind, message ? message : ""});
    if (testing::events.on_end_hook) testing::events.on_end_hook();
}

kind_t on_ask_kind_modal() {
    ++testing::events.kind_questions;
    if (auto hook = std::move(testing::events.kind_question_hook)) hook();
    return testing::events.kind_answer;
}

}  // namespace zal::updater
