// SPDX-License-Identifier: MIT
#pragma once

// Moving work between threads and delaying it. Tasks queued on the main queue
// run one at a time on the main thread; background tasks run on a small pool of
// workers, or, when they wait most of their time, on a thread of their own. A
// queued task always runs: it decides itself whether it still has anything to do.

#include <cstdint>
#include <functional>
#include <string>

namespace zal {

using task_t = std::function<void()>;

void async(task_t task);
void async(task_t task, uint32_t delay_ms);

// Runs a task that waits most of its time (writing a device) on a detached
// thread named `name`, so that any number of them run at once and none waits
// for a pool worker. Counted among the background tasks until it, and what it
// holds, are gone.
void async_on_own_thread(std::string name, task_t task);

// Never runs the task inside the call, even on the main thread with no delay.
void async_main(task_t task);
void async_main(task_t task, uint32_t delay_ms);

// Runs the task on the main thread and returns once it has run: directly on the
// main thread, else by queuing it and blocking the calling thread.
void sync_main(task_t task);

// Whether the calling thread is the one that set up the main queue.
bool is_main_thread();

}  // namespace zal
