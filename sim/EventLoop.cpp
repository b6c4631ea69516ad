#include "sim/EventLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace sim {

namespace {
constexpr uint64_t kWakeHandle = 0;  // the eventfd's handle in the epoll set
constexpr int kMaxEvents = 128;
}  // namespace

EventLoop::EventLoop() = default;

EventLoop::~EventLoop() {
    if (m_wake >= 0)
        ::close(m_wake);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool EventLoop::Open() {
    if (m_epoll >= 0) {
        return true;
    }
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_wake < 0) {
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeHandle;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &ev) == 0;
}

uint64_t EventLoop::Watch(int fd, uint32_t events, IoFn fn) {
    const uint64_t handle = m_nextHandle++;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = handle;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
        return 0;
    }
    auto watcher = std::make_shared<Watcher>();
    watcher->fd = fd;
    watcher->fn = std::move(fn);
    m_watchers.emplace(handle, std::move(watcher));
    return handle;
}

bool EventLoop::Modify(uint64_t handle, uint32_t events) {
    auto it = m_watchers.find(handle);
    if (it == m_watchers.end()) {
        return false;
    }
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = handle;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, it->second->fd, &ev) == 0;
}

void EventLoop::Unwatch(uint64_t handle) {
    auto it = m_watchers.find(handle);
    if (it == m_watchers.end()) {
        return;
    }
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->second->fd, nullptr);
    m_watchers.erase(it);
}

uint64_t EventLoop::After(uint32_t delayMs, Fn fn) {
    const uint64_t id = m_nextTimer++;
    const auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    m_timers.emplace(id, Timer{due, std::move(fn)});
    m_timerOrder.emplace(due, id);
    return id;
}

void EventLoop::Cancel(uint64_t timer) {
    auto it = m_timers.find(timer);
    if (it == m_timers.end()) {
        return;
    }
    m_timerOrder.erase({it->second.due, timer});
    m_timers.erase(it);
}

void EventLoop::Post(Fn fn) {
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        m_posted.push_back(std::move(fn));
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void EventLoop::Quit() {
    m_quit.store(true);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

int EventLoop::NextTimeoutMs() {
    if (m_timerOrder.empty()) {
        return -1;
    }
    const auto wait = m_timerOrder.begin()->first - Clock::now();
    if (wait <= Clock::duration::zero()) {
        return 0;
    }
    // Rounded up, so the loop does not wake just before the timer is due.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

void EventLoop::RunDueTimers() {
    const auto now = Clock::now();
    // Only the timers due now; ones they add wait for the next round.
    std::vector<uint64_t> due;
    for (auto it = m_timerOrder.begin(); it != m_timerOrder.end() && it->first <= now; ++it) {
        due.push_back(it->second);
    }
    for (uint64_t id : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end()) {
            continue;  // cancelled by an earlier timer of this round
        }
        Fn fn = std::move(it->second.fn);
        m_timerOrder.erase({it->second.due, id});
        m_timers.erase(it);
        fn();
    }
}

void EventLoop::RunPosted() {
    std::vector<Fn> posted;
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        posted.swap(m_posted);
    }
    for (Fn& fn : posted) {
        fn();
    }
}

void EventLoop::Run() {
    if (m_epoll < 0) {
        return;
    }
    m_loopThread.store(std::this_thread::get_id());
    epoll_event events[kMaxEvents];
    while (!m_quit.load()) {
        const int n = ::epoll_wait(m_epoll, events, kMaxEvents, NextTimeoutMs());
        m_wakeups.fetch_add(1, std::memory_order_relaxed);
        if (n < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < n; ++i) {
            const uint64_t handle = events[i].data.u64;
            if (handle == kWakeHandle) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t r = ::read(m_wake, &count, sizeof count);
                continue;
            }
            auto it = m_watchers.find(handle);
            if (it == m_watchers.end()) {
                continue;  // removed by an earlier handler of this batch
            }
            // Held here, so a handler that removes its own watch stays alive.
            std::shared_ptr<Watcher> watcher = it->second;
            watcher->fn(events[i].events);
        }
        RunPosted();
        RunDueTimers();
    }
    RunPosted();
    m_loopThread.store(std::thread::id{});
}

}  // namespace sim
