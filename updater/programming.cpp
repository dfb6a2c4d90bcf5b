// SPDX-License-Identifier: MIT
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "common/async/async.hpp"
#include "updater/run.hpp"

namespace zal::updater {

namespace {

struct programming_task_t {
    std::vector<hid::roundtrip_t> sequence;
    hid::device_t device;
    phase_t phase;
    std::function<void()> continuation;
    float offset;
    float span;
};

// Held by a worker while it talks to a bootloader. A cancelled run's worker may
// still be finishing a sector when the next run finds the same device: two
// workers interleaving reports inside a write would corrupt it.
std::mutex device_access;

}  // namespace

void program_asynchronously_or_fail(const hid::device_t& device, const update_plan_t& plan, phase_t phase, float offset,
                                    float span, std::function<void()> continuation) {
    auto task = std::make_shared<programming_task_t>(
        programming_task_t{hid::make_programming_sequence(plan), device, phase, std::move(continuation), offset, span});

    async([task, own_run = current_run()] {
        const phase_t own = task->phase;
        // Still the phase, and the run, that started this task.
        auto current = [own, own_run] { return current_phase() == own && current_run() == own_run; };
        if (!current()) return;
        std::unique_lock access(device_access, std::try_to_lock);
        if (!access.owns_lock()) {
            std::fprintf(stderr, "Waiting for the previous programming to stop.\n");
            access.lock();
            if (!current()) return;
        }
        auto progress = [task, current](std::size_t done, std::size_t total) {
            if (!current()) return false;
            const float fraction = task->offset + task->span * (float(done) / float(total));
            async_main([fraction, current] {
                if (current()) on_progress(fraction);
            });
            return current();
        };
        try {
            hid::process(task->sequence, task->device.path.c_str(), progress);
            async_main([task, current] {
                if (current()) task->continuation();
            });
        } catch (const std::exception& e) {
            async_main([text = std::string(e.what()), current] {
                if (current()) end_run(end_t::failure, kind_t::any, text.c_str());
            });
        }
    });
}

}  // namespace zal::updater
