#pragma once
// The thread that waits for the network before the search starts: it asks
// whether the network is alive every poll interval and, once it is, runs the
// start action once and ends. It can be stopped at any time; Stop returns
// within one poll interval at most (at once while the thread sleeps).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace discovery {

class NetworkWatch {
public:
    static constexpr uint32_t kPollMs = 500;

    NetworkWatch() = default;
    ~NetworkWatch() { Stop(); }
    NetworkWatch(const NetworkWatch&) = delete;
    NetworkWatch& operator=(const NetworkWatch&) = delete;

    // Starts the thread; false when one runs already or the system gave
    // none within the wait.
    bool Start(std::function<bool()> networkAlive, std::function<void()> onAlive,
               uint32_t pollMs = kPollMs);
    // Ends the thread and waits for it. The start action, once begun, is
    // finished first, so it never runs after Stop has returned.
    void Stop();
    // True once the start action has run.
    bool Started() const;

private:
    void Run(std::function<bool()> networkAlive, std::function<void()> onAlive, uint32_t pollMs);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_started = false;
    std::thread m_thread;
};

}  // namespace discovery
