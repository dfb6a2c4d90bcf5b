// SPDX-License-Identifier: MIT
#pragma once

// Moving work between threads and delaying it. Tasks queued on the main queue
// run one at a time on the main thread; background tasks run on a small pool of
// workers. A queued task always runs: it decides itself whether it still has
// anything to do.

#include <cstdint>
#include <functional>

namespace zal {

using task_t = std::function<void()>;

void async(task_t task);
void async(task_t task, uint32_t delay_ms);

// Never runs the task inside the call, even on the main thread with no delay.
void async_main(task_t task);
void async_main(task_t task, uint32_t delay_ms);

// Runs the task on the main thread and returns once it has run: directly on the
// main thread, else by queuing it and blocking the calling thread.
void sync_main(task_t task);

// Whether the calling thread is the one that set up the main queue.
bool is_main_thread();

}  // namespace zal
