#include <memory>
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

}  // namespace

void program_asynchronously_or_fail(const hid::device_t& device, const update_plan_t& plan, phase_t phase,
                                    float offset, float span, std::function<void()> continuation) {
    auto task = std::make_shared<programming_task_t>(
        programming_task_t{hid::make_programming_sequence(plan), device, phase, std::move(continuation), offset, span});

    async([task] {
        const phase_t own = task->phase;
        if (current_phase() != own) return;
        auto progress = [task, own](std::size_t done, std::size_t total) {
            if (current_phase() != own) return false;
            const float fraction = task->offset + task->span * (float(done) / float(total));
            async_main([fraction, own] {
                if (current_phase() == own) on_progress(fraction);
            });
            return current_phase() == own;
        };
        try {
            hid::process(task->sequence, task->device.path.c_str(), progress);
            async_main([task] {
                if (current_phase() == task->phase) task->continuation();
            });
        } catch (const std::exception& e) {
            async_main([text = std::string(e.what()), own] {
                if (current_phase() == own) end_run(end_t::failure, kind_t::any, text.c_str());
            });
        }
    });
}

}  // namespace zal::updater
