// SPDX-License-Identifier: MIT
#pragma once

// Writing one image into a bootloader on a thread of its own (the programming
// worker, named after the device's port), for the engine.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "update/update_plan.hpp"
#include "updater/hid.hpp"

namespace zal::updater {

// The workers an engine has queued that have not yet stopped writing: the
// engine's own count, so that no other engine's work (or the application's)
// decides when its writing has stopped.
using writers_t = std::shared_ptr<std::atomic<std::size_t>>;

struct programming_job_t {
    hid::found_bootloader_t device;
    log_target_t log;  // where the worker's log lines go
    writers_t writers;
    // Progress is reported from `offset` to `offset + span`.
    float offset = 0.0f;
    float span = 1.0f;
    // Any thread: whether the run that began the job is still where it began it.
    // Once it is not, the job stops where the device can still start, and
    // nothing more is reported.
    std::function<bool()> current;
    // Main thread, and only while `current` holds: the fraction reached and
    // how many of the job's exchanges are done.
    std::function<void(float progress, std::size_t exchanged)> progress;
    std::function<void()> done;
    std::function<void(failure_kind_t why, const std::string& message)> failed;
    // The device could not be opened and is gone: a bootloader found as it was
    // leaving. Nothing was written.
    std::function<void()> gone;
};

// Throws when the plan's sequence cannot be built.
void program_on_worker(const update_plan_t& plan, programming_job_t job);

}  // namespace zal::updater
