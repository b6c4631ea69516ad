#include "common/platform/ThreadStart.h"

#include <atomic>
#include <memory>
#include <system_error>

#include "common/platform/Diagnostics.h"

namespace platform {
namespace {

std::atomic<int> g_allowed{0};
std::atomic<int> g_refusals{0};

bool RefusedForTests() {
    if (g_refusals.load() <= 0) {
        return false;
    }
    if (g_allowed.load() > 0 && g_allowed.fetch_sub(1) > 0) {
        return false;
    }
    return g_refusals.fetch_sub(1) > 0;
}

// One try: true when the thread runs.
template <class Thread, class Body>
bool TryStart(Thread& thread, const Body& body) {
    try {
        if (RefusedForTests()) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        thread = Thread(body);
        return true;
    } catch (const std::system_error& e) {
        DiagPrintf("thread start refused: %s\n", e.what());
        return false;
    }
}

template <class Thread, class Body>
bool StartRetrying(Thread& thread, const Body& body, const ThreadStartOptions& options) {
    Clock& clock = options.clock != nullptr ? *options.clock : SystemClock();
    const uint64_t start = clock.TickMs();
    for (;;) {
        if (TryStart(thread, body)) {
            return true;
        }
        if (clock.TickMs() - start >= options.limitMs) {
            return false;
        }
        clock.SleepMs(options.retryMs);
    }
}

template <class Thread>
size_t StartPoolOf(std::vector<Thread>& threads, size_t count, const std::function<void()>& body,
                   const ThreadStartOptions& options) {
    size_t started = 0;
    for (size_t i = 0; i < count; ++i) {
        Thread thread;
        const bool ok =
            started == 0 ? StartRetrying(thread, body, options) : TryStart(thread, body);
        if (!ok) {
            break;
        }
        threads.push_back(std::move(thread));
        ++started;
    }
    return started;
}

}  // namespace

// The body is shared, not copied, by every try: a push job's body holds its
// whole payload.
bool StartThread(std::thread& thread, std::function<void()> body,
                 const ThreadStartOptions& options) {
    auto shared = std::make_shared<std::function<void()>>(std::move(body));
    return StartRetrying(
        thread, [shared] { (*shared)(); }, options);
}

bool StartThread(std::jthread& thread, std::function<void(std::stop_token)> body,
                 const ThreadStartOptions& options) {
    auto shared = std::make_shared<std::function<void(std::stop_token)>>(std::move(body));
    return StartRetrying(
        thread, [shared](std::stop_token stop) { (*shared)(std::move(stop)); }, options);
}

size_t StartPool(std::vector<std::thread>& threads, size_t count, const std::function<void()>& body,
                 const ThreadStartOptions& options) {
    return StartPoolOf(threads, count, body, options);
}

size_t StartPool(std::vector<std::jthread>& threads, size_t count,
                 const std::function<void()>& body, const ThreadStartOptions& options) {
    return StartPoolOf(threads, count, body, options);
}

void RefuseThreadStartsForTests(int count, int allowFirst) {
    g_allowed.store(allowFirst);
    g_refusals.store(count);
}

}  // namespace platform
