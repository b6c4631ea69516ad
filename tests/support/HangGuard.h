#pragma once
// Tests that show "X does not wait for Y" make Y a wait that only a fault
// would sit out (kLongWaitMs, a day) and run X under a HangGuard. The guard's
// limit is no measure of speed: it is far above any run on a loaded machine
// or under a sanitizer, and far below the wait it tells apart, so the
// verdict never depends on how fast the machine is. When it runs out, the
// step is reported by name instead of the test sitting until ctest kills it.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace testsupport {

inline constexpr std::chrono::seconds kHangGuard{60};
// A limit no correct run comes near: a day.
inline constexpr uint32_t kLongWaitMs = 24u * 3600u * 1000u;

// Watches one step of a test from a thread of its own. When the step has
// not ended (Done, or the guard's end) within the limit, onHang runs on the
// watching thread to release it (a socket shut down, a link aborted), and
// Done reports the hang as a test failure. Without onHang nothing could
// release the step: the process ends with the step's name on stderr.
class HangGuard {
public:
    explicit HangGuard(std::string step, std::function<void()> onHang = {},
                       std::chrono::milliseconds limit = kHangGuard)
        : m_step(std::move(step)), m_onHang(std::move(onHang)), m_limit(limit) {
        m_watch = std::thread([this] { Watch(); });
    }
    ~HangGuard() { Done(); }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

    // The step has returned. False (and a test failure) when it returned
    // only because the guard released it.
    bool Done() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        if (m_watch.joinable()) {
            m_watch.join();
            if (m_hung) {
                ADD_FAILURE() << m_step << " did not return within " << m_limit.count()
                              << " ms; it returned only once the test released it";
            }
        }
        return !m_hung;
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_cv.wait_for(lock, m_limit, [this] { return m_done; })) {
            return;
        }
        m_hung = true;
        lock.unlock();
        std::fprintf(stderr, "HANG: %s has not returned after %lld ms\n", m_step.c_str(),
                     static_cast<long long>(m_limit.count()));
        if (!m_onHang) {
            std::fflush(stderr);
            std::abort();
        }
        m_onHang();
    }

    const std::string m_step;
    const std::function<void()> m_onHang;
    const std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;  // guarded by m_mutex
    bool m_hung = false;  // written by the watching thread before it ends
    std::thread m_watch;
};

// Runs step under a guard: true when it returned by itself.
inline bool ReturnsWithoutHanging(const std::string& name, const std::function<void()>& step,
                                  std::function<void()> onHang = {}) {
    HangGuard guard(name, std::move(onHang));
    step();
    return guard.Done();
}

}  // namespace testsupport
