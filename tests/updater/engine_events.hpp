// SPDX-License-Identifier: MIT
#pragma once

// What an engine tells a test: every call is recorded, and the kind question
// answers what the test says.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "updater/updater.hpp"

namespace zal::testing {

struct engine_events_t {
    std::vector<std::string> titles;     // every announced title, in order
    std::vector<std::string> subtitles;  // and its subtitle
    std::vector<float> progress;
    std::vector<updater::outcome_t> ends;
    int kind_questions = 0;
    std::optional<kind_t> kind_answer;         // nothing: the user declines
    std::function<void()> on_end_hook;         // runs inside the end callback
    std::function<void()> kind_question_hook;  // runs while the kind question is open

    void clear() { *this = engine_events_t{}; }

    // Callbacks that record into this, which must outlive the engine.
    updater::callbacks_t callbacks();
};

}  // namespace zal::testing
