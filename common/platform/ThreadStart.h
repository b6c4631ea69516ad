#pragma once
// Starting a thread when the system may refuse one (a user's process limit
// reached, memory short): std::thread throws std::system_error then, and an
// uncaught throw ends the whole program. Here a refused start is tried again
// every 500 ms within a bounded wait, and the caller learns whether it
// started, so a job that cannot start ends with its failure result instead.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>
#include <vector>

#include "common/platform/Clock.h"

namespace platform {

struct ThreadStartOptions {
    Clock* clock = nullptr;    // null: the system clock
    uint32_t retryMs = 500;    // the pause before trying again
    uint64_t limitMs = 10000;  // no new try once this has passed
};

// Starts `body` on `thread`. False when no start succeeded within the limit.
bool StartThread(std::thread& thread, std::function<void()> body,
                 const ThreadStartOptions& options = {});
bool StartThread(std::jthread& thread, std::function<void(std::stop_token)> body,
                 const ThreadStartOptions& options = {});

// Starts up to `count` threads of a pool whose threads take their work from
// a shared queue, appending them to `threads`. Refusals are retried while
// none of the pool runs; once one does, it can do all the work, so the pool
// makes do with the threads it has. The number started: 0 when none could
// start within the limit.
size_t StartPool(std::vector<std::thread>& threads, size_t count, const std::function<void()>& body,
                 const ThreadStartOptions& options = {});
size_t StartPool(std::vector<std::jthread>& threads, size_t count,
                 const std::function<void()>& body, const ThreadStartOptions& options = {});

// Tests: after `allowFirst` more starts through these functions, the next
// `count` are refused as the system would refuse them.
void RefuseThreadStartsForTests(int count, int allowFirst = 0);

}  // namespace platform
