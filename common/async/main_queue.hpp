// SPDX-License-Identifier: MIT
#pragma once

// The main queue's side for its drivers: whoever owns the main thread (the Qt
// event loop, a command-line tool's loop, or a test with a virtual clock) makes
// the queue's due tasks run.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace zal::main_queue {

using queue_clock_t = std::chrono::steady_clock;

// Makes the calling thread the main thread and empties the queue. With
// `virtual_clock`, time stands still at 0 until `advance` moves it.
void attach_current_thread(bool virtual_clock = false);

// Called, from any thread, whenever a task is queued; a driver uses it to wake
// its loop. May be empty.
void set_wakeup(std::function<void()> wakeup);

// Runs the tasks that are due now and were queued before the call; tasks they
// queue wait for the next call. Main thread only. Returns how many ran.
std::size_t run_due();

// When the earliest queued task is due, if any.
std::optional<queue_clock_t::time_point> next_due();

// The queue's notion of now: the real clock, or the virtual one.
queue_clock_t::time_point now();

// Virtual clock only: moves time forward by `ms`, running every task that falls
// due on the way at its own due time, in due order (tasks they queue included).
void advance(uint32_t ms);

// Blocking loop for command-line tools: runs tasks as they fall due until
// `done` returns true (checked after every task and every wake-up).
void run_until(const std::function<bool()>& done);

// Queued tasks, for tests.
std::size_t size();

// Background tasks queued or running: a program lets them finish before it
// exits, and a virtual clock's driver holds time still while there are any, so
// that a worker's speed never decides what a test sees.
std::size_t background_tasks();

}  // namespace zal::main_queue
