// SPDX-License-Identifier: MIT
#include "updater/programming.hpp"

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "common/async/async.hpp"

namespace zal::updater {

namespace {

// Held by a worker while it talks to a bootloader. A cancelled run's worker may
// still be finishing a sector when the next run finds the same device: two
// workers interleaving reports inside a write would corrupt it.
std::mutex device_access;

}  // namespace

void program_on_worker(const update_plan_t& plan, programming_job_t job) {
    struct task_t {
        std::vector<hid::roundtrip_t> sequence;
        programming_job_t job;
    };
    auto task = std::make_shared<const task_t>(task_t{hid::make_programming_sequence(plan), std::move(job)});

    async([task] {
        const auto& current = task->job.current;
        if (!current()) return;
        std::unique_lock access(device_access, std::try_to_lock);
        if (!access.owns_lock()) {
            std::fprintf(stderr, "Waiting for the previous programming to stop.\n");
            access.lock();
            if (!current()) return;
        }
        auto progress = [task](std::size_t done, std::size_t total) {
            const programming_job_t& own = task->job;
            if (!own.current()) return false;
            const float fraction = own.offset + own.span * (float(done) / float(total));
            async_main([task, fraction] {
                if (task->job.current()) task->job.progress(fraction);
            });
            return own.current();
        };
        try {
            hid::run_sequence(task->sequence, task->job.device.path.c_str(), progress);
            async_main([task] {
                if (task->job.current()) task->job.done();
            });
        } catch (const hid::unopened_t& e) {
            const bool gone = !hid::connected(task->job.device.path);
            async_main([task, gone, text = std::string(e.what())] {
                if (!task->job.current()) return;
                if (gone)
                    task->job.gone();
                else
                    task->job.failed(text);
            });
        } catch (const std::exception& e) {
            async_main([task, text = std::string(e.what())] {
                if (task->job.current()) task->job.failed(text);
            });
        }
    });
}

}  // namespace zal::updater
