// SPDX-License-Identifier: MIT
#include "updater/programming.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/async/async.hpp"
#include "updater/log.hpp"

namespace zal::updater {

namespace {

// A cancelled run's worker may still be finishing a sector when the next run
// finds the same device: two workers interleaving reports inside a write would
// corrupt it. So one worker at a time per device; other devices go on.
class device_locks_t {
public:
    std::shared_ptr<std::mutex> of(const std::string& path) {
        std::lock_guard guard(mutex_);
        std::erase_if(locks_, [](const auto& entry) { return entry.second.expired(); });
        std::shared_ptr<std::mutex> lock = locks_[path].lock();
        if (!lock) locks_[path] = lock = std::make_shared<std::mutex>();
        return lock;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<std::mutex>> locks_;
};

device_locks_t& device_locks() {
    static device_locks_t locks;
    return locks;
}

// Counts a job among its engine's writers from queuing until it has stopped.
class writing_t {
public:
    explicit writing_t(writers_t writers) : writers_(std::move(writers)) { ++*writers_; }
    ~writing_t() { --*writers_; }
    writing_t(const writing_t&) = delete;
    writing_t& operator=(const writing_t&) = delete;

private:
    writers_t writers_;
};

// "write 1-1.4": Linux shows 15 bytes of a thread's name, so a long port keeps
// its end, where ports differ; a host that tells no port leaves the node's name.
std::string thread_name(const hid::found_bootloader_t& device) {
    std::string where = device.usb_port.empty() ? device.path.substr(device.path.rfind('/') + 1) : device.usb_port;
    if (where.size() > 9) where.erase(0, where.size() - 9);
    return "write " + where;
}

}  // namespace

void program_on_worker(const update_plan_t& plan, programming_job_t programming) {
    struct task_t {
        std::vector<hid::roundtrip_t> sequence;
        programming_job_t job;
    };
    auto task = std::make_shared<const task_t>(task_t{hid::make_programming_sequence(plan), std::move(programming)});
    auto writing = std::make_shared<writing_t>(task->job.writers);

    // A thread of its own: a job waits on its device most of the time, and any
    // number of devices are written at once.
    async_on_own_thread(thread_name(task->job.device), [task, writing] {
        const programming_job_t& job = task->job;
        if (!job.current()) return;
        const std::shared_ptr<std::mutex> lock = device_locks().of(job.device.path);
        std::unique_lock access(*lock, std::try_to_lock);
        if (!access.owns_lock()) {
            log_line(job.log, "Waiting for the previous programming to stop.");
            access.lock();
            if (!job.current()) return;
        }
        auto progress = [task](std::size_t done, std::size_t total) {
            const programming_job_t& own = task->job;
            if (!own.current()) return false;
            const float fraction = own.offset + own.span * (float(done) / float(total));
            // Called after exchange `done`, then once more with `total`.
            const std::size_t exchanged = std::min(done + 1, total);
            async_main([task, fraction, exchanged] {
                if (task->job.current()) task->job.progress(fraction, exchanged);
            });
            return own.current();
        };
        try {
            hid::run_sequence(task->sequence, job.device.path.c_str(), progress, job.log);
            async_main([task] {
                if (task->job.current()) task->job.done();
            });
        } catch (const hid::unopened_t& e) {
            const bool gone = e.vanished || !hid::connected(job.device.path);
            async_main([task, gone, why = e.kind, text = std::string(e.what())] {
                if (!task->job.current()) return;
                if (gone)
                    task->job.gone();
                else
                    task->job.failed(why, text);
            });
        } catch (const hid::exchange_error_t& e) {
            async_main([task, why = e.kind, text = std::string(e.what())] {
                if (task->job.current()) task->job.failed(why, text);
            });
        }
    });
}

}  // namespace zal::updater
