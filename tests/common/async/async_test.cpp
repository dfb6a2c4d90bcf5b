// SPDX-License-Identifier: MIT
#include "common/async/async.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/async/main_queue.hpp"

using namespace zal;
using namespace std::chrono_literals;

namespace {

class MainQueue : public ::testing::Test {
protected:
    void SetUp() override { main_queue::attach_current_thread(true); }
    std::string log;
};

}  // namespace

TEST_F(MainQueue, AsyncMainNeverRunsInsideTheCall) {
    async_main([&] { log += "a"; });
    async_main([&] { log += "b"; }, 0);
    log += "-";
    EXPECT_EQ(log, "-");
    main_queue::run_due();
    EXPECT_EQ(log, "-ab");
}

TEST_F(MainQueue, TasksQueuedByATaskWaitForTheNextRound) {
    std::function<void()> again = [&] {
        log += "x";
        async_main(again);  // must not starve the caller of run_due
    };
    async_main(again);
    EXPECT_EQ(main_queue::run_due(), 1u);
    EXPECT_EQ(main_queue::run_due(), 1u);
    EXPECT_EQ(log, "xx");
}

TEST_F(MainQueue, DelayedTasksRunAtTheirDueTimeInOrder) {
    const auto start = main_queue::now();
    std::vector<long> ran_at;
    auto stamp = [&](char c) {
        return [&, c] {
            log += c;
            ran_at.push_back(long((main_queue::now() - start) / 1ms));
        };
    };
    async_main(stamp('c'), 1000);
    async_main(stamp('a'), 200);
    main_queue::advance(500);
    async_main(stamp('d'), 500);                            // due at 1000 like 'c', queued later
    async_main([&] { async_main(stamp('b'), 100); }, 100);  // at 600, queues one for 700

    main_queue::advance(499);
    EXPECT_EQ(log, "ab");
    main_queue::advance(1);
    EXPECT_EQ(log, "abcd");
    EXPECT_EQ(ran_at, (std::vector<long>{200, 700, 1000, 1000}));
    EXPECT_EQ(main_queue::now() - start, 1000ms);
}

TEST_F(MainQueue, ADelayedTaskNeverRunsEarly) {
    async_main([&] { log += "late"; }, 5000);
    main_queue::run_due();
    main_queue::advance(4999);
    EXPECT_EQ(log, "");
    main_queue::advance(1);
    EXPECT_EQ(log, "late");
}

TEST_F(MainQueue, SyncMainOnTheMainThreadRunsAtOnce) {
    sync_main([&] { log += "now"; });
    EXPECT_EQ(log, "now");
    EXPECT_EQ(main_queue::size(), 0u);
}

TEST_F(MainQueue, SyncMainFromAWorkerBlocksUntilTheMainThreadRanIt) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        sync_main([&] { log += "main"; });
        returned = true;
    });
    while (main_queue::size() == 0) std::this_thread::yield();
    EXPECT_FALSE(returned);  // nothing has run the queue yet
    main_queue::run_due();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(log, "main");
}

TEST_F(MainQueue, IsMainThreadIsTheThreadThatSetItUp) {
    EXPECT_TRUE(is_main_thread());
    bool elsewhere = true;
    std::thread([&] { elsewhere = is_main_thread(); }).join();
    EXPECT_FALSE(elsewhere);
}

TEST(BackgroundQueue, RunsTasksOnWorkersAndHandsBackToTheMainThread) {
    main_queue::attach_current_thread(false);
    const auto main_id = std::this_thread::get_id();
    std::atomic<int> handed_back{0};
    std::atomic<bool> off_main{true};
    for (int i = 0; i < 20; ++i)
        async([&] {
            if (std::this_thread::get_id() == main_id) off_main = false;
            async_main([&] { ++handed_back; });
        });
    main_queue::run_until([&] { return handed_back == 20; });
    EXPECT_TRUE(off_main);
}

TEST(BackgroundQueue, DelayedBackgroundTaskWaitsForItsDelay) {
    const auto start = std::chrono::steady_clock::now();
    std::promise<std::chrono::steady_clock::time_point> ran;
    async([&] { ran.set_value(std::chrono::steady_clock::now()); }, 30);
    EXPECT_GE(ran.get_future().get() - start, 30ms);
}

TEST(BlockingLoop, RunsDelayedTasksAndStopsWhenDone) {
    main_queue::attach_current_thread(false);
    int step = 0;
    async_main([&] { step = 1; }, 20);
    async_main([&] { step = step == 1 ? 2 : -1; }, 40);
    main_queue::run_until([&] { return step == 2; });
    EXPECT_EQ(step, 2);
}
