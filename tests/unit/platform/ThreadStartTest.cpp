// Starting threads when the system refuses them: tried again every 500 ms
// within the wait, then given up; a pool makes do once one thread runs.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/platform/Clock.h"
#include "common/platform/ThreadStart.h"

namespace {

TEST(ThreadStart, RefusedStartsAreRetriedWithinTheWaitThenGivenUp) {
    struct Case {
        int refusals;
        bool started;
        uint64_t sleptMs;
    };
    // The wait is 2000 ms: tries at 0, 500, ..., 2000 ms, five in all.
    for (const Case c :
         {Case{0, true, 0}, Case{3, true, 1500}, Case{4, true, 2000}, Case{5, false, 2000}}) {
        platform::ManualClock clock;
        platform::ThreadStartOptions options;
        options.clock = &clock;
        options.limitMs = 2000;
        platform::RefuseThreadStartsForTests(c.refusals);
        std::atomic<int> ran{0};
        std::thread thread;
        EXPECT_EQ(platform::StartThread(
                      thread, [&ran] { ++ran; }, options),
                  c.started)
            << c.refusals;
        if (thread.joinable()) {
            thread.join();
        }
        EXPECT_EQ(ran.load(), c.started ? 1 : 0);
        EXPECT_EQ(clock.SleptMs(), c.sleptMs) << c.refusals;
        platform::RefuseThreadStartsForTests(0);
    }
}

TEST(ThreadStart, APoolWaitsOnlyForItsFirstThread) {
    struct Case {
        int refusals;
        size_t started;
        uint64_t sleptMs;
    };
    // The first start waits; later refusals leave the pool smaller at once.
    for (const Case c : {Case{0, 4, 0}, Case{2, 4, 1000}, Case{100, 0, 1000}}) {
        platform::ManualClock clock;
        platform::ThreadStartOptions options;
        options.clock = &clock;
        options.limitMs = 1000;
        platform::RefuseThreadStartsForTests(c.refusals);
        std::atomic<int> ran{0};
        std::vector<std::jthread> pool;
        EXPECT_EQ(platform::StartPool(
                      pool, 4, [&ran] { ++ran; }, options),
                  c.started);
        EXPECT_EQ(pool.size(), c.started);
        pool.clear();
        EXPECT_EQ(ran.load(), static_cast<int>(c.started));
        EXPECT_EQ(clock.SleptMs(), c.sleptMs) << c.refusals;
        platform::RefuseThreadStartsForTests(0);
    }
    // Refusals once the first thread runs: the pool makes do with it, at once.
    platform::ManualClock clock;
    platform::ThreadStartOptions options;
    options.clock = &clock;
    platform::RefuseThreadStartsForTests(100, 1);
    std::vector<std::thread> pool;
    EXPECT_EQ(platform::StartPool(
                  pool, 4, [] {}, options),
              1u);
    EXPECT_EQ(clock.SleptMs(), 0u);
    for (std::thread& t : pool) {
        t.join();
    }
    platform::RefuseThreadStartsForTests(0);
}

}  // namespace
