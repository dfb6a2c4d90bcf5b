// SPDX-License-Identifier: MIT
#include "common/async/async.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <queue>
#include <system_error>
#include <thread>
#include <vector>

#include "common/async/main_queue.hpp"
#include "common/async/thread.hpp"

namespace zal {

namespace {

using queue_clock_t = std::chrono::steady_clock;

struct timed_task_t {
    queue_clock_t::time_point due;
    uint64_t sequence;  // keeps tasks due at the same time in the order they were queued
    task_t task;
};

struct later_first {
    bool operator()(const timed_task_t& a, const timed_task_t& b) const {
        return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
};

using task_heap_t = std::priority_queue<timed_task_t, std::vector<timed_task_t>, later_first>;

queue_clock_t::duration milliseconds(uint32_t ms) { return std::chrono::milliseconds(uint64_t(ms)); }

// --- main queue ---------------------------------------------------------------

struct main_state_t {
    std::mutex mutex;
    std::condition_variable changed;  // for run_until and sync_main
    task_heap_t tasks;
    uint64_t sequence = 0;
    std::thread::id main_thread;
    bool virtual_clock = false;
    queue_clock_t::time_point virtual_now;
    // Called with `wakeup_mutex` held, so that replacing it (as a driver's
    // destructor does) waits for the calls under way on other threads.
    std::mutex wakeup_mutex;
    std::function<void()> wakeup;
};

// Never destroyed: workers and late tasks may still use it while the process exits.
main_state_t& main_state() {
    static main_state_t* state = new main_state_t;
    return *state;
}

queue_clock_t::time_point now_locked(const main_state_t& s) {
    return s.virtual_clock ? s.virtual_now : queue_clock_t::now();
}

void queue_main(task_t task, uint32_t delay_ms) {
    main_state_t& s = main_state();
    {
        std::lock_guard lock(s.mutex);
        s.tasks.push({now_locked(s) + milliseconds(delay_ms), s.sequence++, std::move(task)});
    }
    s.changed.notify_all();
    std::lock_guard wake(s.wakeup_mutex);
    if (s.wakeup) s.wakeup();
}

// Pops the earliest task if it is due by `limit` and was queued before `sequence_limit`.
std::optional<task_t> pop_due(queue_clock_t::time_point limit, uint64_t sequence_limit, bool move_clock) {
    main_state_t& s = main_state();
    std::lock_guard lock(s.mutex);
    if (s.tasks.empty()) return std::nullopt;
    const timed_task_t& top = s.tasks.top();
    if (top.due > limit || top.sequence >= sequence_limit) return std::nullopt;
    if (move_clock && top.due > s.virtual_now) s.virtual_now = top.due;
    task_t task = std::move(const_cast<timed_task_t&>(top).task);
    s.tasks.pop();
    return task;
}

// --- background pool ----------------------------------------------------------

class pool_t {
public:
    pool_t() {
        // Its tasks compute (long release notes): no more workers than cores.
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < count; ++i) named_thread("pool", [this] { work(); }).detach();
    }
    void push(task_t task, uint32_t delay_ms) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push({queue_clock_t::now() + milliseconds(delay_ms), sequence_++, std::move(task)});
        }
        changed_.notify_one();
    }

    std::size_t busy() {
        std::lock_guard lock(mutex_);
        return tasks_.size() + running_;
    }

private:
    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (tasks_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const queue_clock_t::time_point due = tasks_.top().due;
            if (due > queue_clock_t::now()) {
                changed_.wait_until(lock, due);
                continue;
            }
            task_t task = std::move(const_cast<timed_task_t&>(tasks_.top()).task);
            tasks_.pop();
            // Another worker may wait for a later task that is now the earliest.
            if (!tasks_.empty()) changed_.notify_one();
            ++running_;
            lock.unlock();
            task();
            lock.lock();
            --running_;
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    task_heap_t tasks_;
    uint64_t sequence_ = 0;
    std::size_t running_ = 0;
};

// Never destroyed: a worker may be blocked in sync_main while the process exits.
pool_t& pool() {
    static pool_t* instance = new pool_t;
    return *instance;
}

// Tasks running on threads of their own. Never destroyed, as the pool.
std::atomic<std::size_t>& own_threads() {
    static auto* count = new std::atomic<std::size_t>(0);
    return *count;
}

}  // namespace

void async(task_t task) { pool().push(std::move(task), 0); }
void async(task_t task, uint32_t delay_ms) { pool().push(std::move(task), delay_ms); }

void async_on_own_thread(std::string name, task_t task) {
    auto owned = std::make_shared<task_t>(std::move(task));
    ++own_threads();
    try {
        named_thread(std::move(name), [owned] {
            (*owned)();
            *owned = nullptr;  // what it holds goes before it stops counting
            --own_threads();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: a pool worker runs it, later but surely.
        --own_threads();
        pool().push([owned] { (*owned)(); }, 0);
    }
}

void async_main(task_t task) { queue_main(std::move(task), 0); }
void async_main(task_t task, uint32_t delay_ms) { queue_main(std::move(task), delay_ms); }

void sync_main(task_t task) {
    if (is_main_thread()) {
        task();
        return;
    }
    std::mutex mutex;
    std::condition_variable done_changed;
    bool done = false;
    async_main([&] {
        // Signal even when the task throws, so that the caller never waits forever.
        struct signal_t {
            std::mutex& m;
            std::condition_variable& cv;
            bool& d;
            ~signal_t() {
                std::lock_guard lock(m);
                d = true;
                cv.notify_all();
            }
        } signal{mutex, done_changed, done};
        task();
    });
    std::unique_lock lock(mutex);
    done_changed.wait(lock, [&] { return done; });
}

bool is_main_thread() {
    main_state_t& s = main_state();
    std::lock_guard lock(s.mutex);
    return s.main_thread == std::this_thread::get_id();
}

namespace main_queue {

void attach_current_thread(bool virtual_clock) {
    main_state_t& s = main_state();
    std::lock_guard lock(s.mutex);
    s.main_thread = std::this_thread::get_id();
    s.virtual_clock = virtual_clock;
    s.virtual_now = queue_clock_t::time_point{};
    s.tasks = {};
}

void set_wakeup(std::function<void()> wakeup) {
    main_state_t& s = main_state();
    std::lock_guard lock(s.wakeup_mutex);
    s.wakeup = std::move(wakeup);
}

std::size_t run_due() {
    main_state_t& s = main_state();
    queue_clock_t::time_point limit;
    uint64_t sequence_limit;
    {
        std::lock_guard lock(s.mutex);
        limit = now_locked(s);
        sequence_limit = s.sequence;
    }
    std::size_t ran = 0;
    while (std::optional<task_t> task = pop_due(limit, sequence_limit, false)) {
        (*task)();
        ++ran;
    }
    return ran;
}

std::optional<queue_clock_t::time_point> next_due() {
    main_state_t& s = main_state();
    std::lock_guard lock(s.mutex);
    if (s.tasks.empty()) return std::nullopt;
    return s.tasks.top().due;
}

queue_clock_t::time_point now() {
    main_state_t& s = main_state();
    std::lock_guard lock(s.mutex);
    return now_locked(s);
}

void advance(uint32_t ms) {
    main_state_t& s = main_state();
    queue_clock_t::time_point target;
    {
        std::lock_guard lock(s.mutex);
        target = s.virtual_now + milliseconds(ms);
    }
    while (std::optional<task_t> task = pop_due(target, UINT64_MAX, true)) (*task)();
    std::lock_guard lock(s.mutex);
    s.virtual_now = target;
}

void run_until(const std::function<bool()>& done) {
    main_state_t& s = main_state();
    while (!done()) {
        if (run_due() > 0) continue;
        std::unique_lock lock(s.mutex);
        const bool due_now = !s.tasks.empty() && s.tasks.top().due <= now_locked(s);
        if (due_now) continue;
        // Short waits keep `done` checked even when it changes without a task.
        const queue_clock_t::time_point until =
            std::min(s.tasks.empty() ? queue_clock_t::time_point::max() : s.tasks.top().due,
                     queue_clock_t::now() + std::chrono::milliseconds(50));
        s.changed.wait_until(lock, until);
    }
}

std::size_t size() {
    main_state_t& s = main_state();
    std::lock_guard lock(s.mutex);
    return s.tasks.size();
}

std::size_t background_tasks() { return pool().busy() + own_threads(); }

}  // namespace main_queue

}  // namespace zal
