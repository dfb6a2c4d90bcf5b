// SPDX-License-Identifier: MIT
#pragma once

// What the state machine shares with its programming runner.

#include <functional>

#include "update/update_plan.hpp"
#include "updater/hid.hpp"
#include "updater/updater.hpp"

namespace zal::updater {

// The live run's phase, and which run it is; any thread may read them.
phase_t current_phase();
uint32_t current_run();

// The one way a run ends: the engine is reset, then the application is told.
void end_run(end_t end, kind_t kind, const char* message);

// Programs the plan into the bootloader on a background worker, reporting
// progress from `offset` to `offset + span`; then runs `continuation`, or ends
// the run with the failure. Everything it reports is dropped once the run has
// left `phase`. Throws when the sequence cannot be built.
void program_asynchronously_or_fail(const hid::device_t& device, const update_plan_t& plan, phase_t phase, float offset,
                                    float span, std::function<void()> continuation);

}  // namespace zal::updater
