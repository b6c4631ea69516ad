#include "discovery/NetworkWatch.h"

#include <chrono>

#include "common/platform/ThreadStart.h"

namespace discovery {

bool NetworkWatch::Start(std::function<bool()> networkAlive, std::function<void()> onAlive,
                         uint32_t pollMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable()) {
        return false;
    }
    m_stop = false;
    m_started = false;
    // False when the system gave no thread: the search then never starts.
    return platform::StartThread(m_thread, [this, networkAlive = std::move(networkAlive),
                                            onAlive = std::move(onAlive), pollMs] {
        Run(networkAlive, onAlive, pollMs);
    });
}

void NetworkWatch::Run(std::function<bool()> networkAlive, std::function<void()> onAlive,
                       uint32_t pollMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        const bool alive = networkAlive();
        lock.lock();
        if (alive && !m_stop) {
            // Run the action under the lock, so Stop waits for it and it can
            // never follow what Stop's caller does next.
            onAlive();
            m_started = true;
            return;
        }
        m_cv.wait_for(lock, std::chrono::milliseconds(pollMs), [this] { return m_stop; });
    }
}

void NetworkWatch::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool NetworkWatch::Started() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

}  // namespace discovery
