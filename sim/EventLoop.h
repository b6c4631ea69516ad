#pragma once
// One thread's epoll loop: watched descriptors, one-shot timers and
// functions posted from other threads. Everything registered runs on the
// loop's thread; nothing blocks there.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace sim {

class EventLoop {
public:
    using IoFn = std::function<void(uint32_t events)>;
    using Fn = std::function<void()>;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Makes the epoll set and the wake-up; false when the system refuses.
    bool Open();

    // Loop thread (or before Run): watch fd for events (EPOLLIN, EPOLLOUT);
    // 0 on failure. The handle stays valid until Unwatch; a watch removed
    // while its events are being delivered gets none of them.
    uint64_t Watch(int fd, uint32_t events, IoFn fn);
    bool Modify(uint64_t handle, uint32_t events);
    void Unwatch(uint64_t handle);  // the descriptor is the caller's to close

    // Loop thread: runs fn once after delayMs. Returns a timer id (never 0).
    uint64_t After(uint32_t delayMs, Fn fn);
    void Cancel(uint64_t timer);

    // Any thread: runs fn on the loop thread soon.
    void Post(Fn fn);

    // Runs until Quit; returns at once when Open failed.
    void Run();
    // Any thread: Run returns after the current round.
    void Quit();

    bool InLoopThread() const { return std::this_thread::get_id() == m_loopThread.load(); }
    // Returns of epoll_wait so far (a measure of how often the loop wakes).
    uint64_t Wakeups() const { return m_wakeups.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;
    struct Watcher {
        int fd = -1;
        IoFn fn;
    };
    struct Timer {
        Clock::time_point due;
        Fn fn;
    };

    int NextTimeoutMs();
    void RunDueTimers();
    void RunPosted();

    int m_epoll = -1;
    int m_wake = -1;  // eventfd
    std::atomic<bool> m_quit{false};
    std::atomic<std::thread::id> m_loopThread{};
    std::atomic<uint64_t> m_wakeups{0};

    uint64_t m_nextHandle = 1;
    std::map<uint64_t, std::shared_ptr<Watcher>> m_watchers;

    uint64_t m_nextTimer = 1;
    std::map<uint64_t, Timer> m_timers;
    std::set<std::pair<Clock::time_point, uint64_t>> m_timerOrder;

    std::mutex m_postLock;  // guards m_posted
    std::vector<Fn> m_posted;
};

}  // namespace sim
