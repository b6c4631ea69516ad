#include "common/link/SWL_TCPLink.h"

// The link's life and its threads: creation, the keep-alive, watchdog and
// receive threads, breaking and closing. Frames, their reassembly and the
// readers and senders are in SWL_TCPLinkFrames.cpp.

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "common/link/SWL_Public.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// The receive thread looks at its running flag at least this often.
constexpr uint32_t kRecvThreadWaitMs = 1000;

}  // namespace

CTcpLink* CTcpLink::Create(SWL_SOCKET sock) {
    return Create(sock, TcpLinkTimings{});
}

CTcpLink* CTcpLink::Create(SWL_SOCKET sock, const TcpLinkTimings& timings) {
    auto* link = new (std::nothrow) CTcpLink(sock, timings);
    if (link != nullptr && !link->m_wake.Valid()) {
        delete link;
        return nullptr;
    }
    return link;
}

CTcpLink::CTcpLink(SWL_SOCKET sock, const TcpLinkTimings& timings)
    : m_socket(sock),
      m_timings(timings),
      m_maxMessageLength(std::min(timings.maxMessageLength, tcplink::kMaxMessageLength)) {}

void CTcpLink::SetMaxMessageLength(uint32_t length) {
    m_maxMessageLength = std::min(length, tcplink::kMaxMessageLength);
}

CTcpLink::~CTcpLink() = default;

void CTcpLink::MarkBroken() {
    if (m_broken.exchange(true)) {
        return;
    }
    // The wake event stays set from now on, so every wait on the link
    // returns at once and its caller finds the link broken.
    m_wake.Signal();
    { std::lock_guard<std::mutex> lock(m_waitMutex); }
    m_waitCv.notify_all();
}

void CTcpLink::ReportBroken() {
    if (m_reported.exchange(true)) {
        return;
    }
    const Callback callback = GetCallback();
    if (callback.function != nullptr) {
        callback.function(callback.user, nullptr, -1);
    }
}

CTcpLink::Callback CTcpLink::GetCallback() {
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    return m_callback;
}

bool CTcpLink::StartThread(std::atomic<bool>& running, std::jthread& thread,
                           void (CTcpLink::*body)()) {
    running.store(true);
    try {
        thread = std::jthread([this, body] {
            (this->*body)();
            // Closed from inside the callback on this very thread: the
            // teardown was left to this thread's end.
            if (m_deferredCloser.load() == std::this_thread::get_id()) {
                delete this;
            }
        });
    } catch (const std::system_error&) {
        running.store(false);
        return false;
    }
    return true;
}

void CTcpLink::StopThread(std::atomic<bool>& running, std::jthread& thread) {
    if (!thread.joinable()) {
        return;
    }
    running.store(false);
    { std::lock_guard<std::mutex> lock(m_waitMutex); }
    m_waitCv.notify_all();
    if (thread.get_id() == std::this_thread::get_id()) {
        // Close called from inside the callback, on the thread that runs
        // it: joining it would end the process. It stops when the callback
        // returns and deletes the link then.
        m_deferredCloser.store(thread.get_id());
        thread.detach();
        return;
    }
    thread.join();
}

int CTcpLink::StartLinkThreads(TcpLinkCallback callback, void* user, bool watchdogMode) {
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (m_keepAliveThread.joinable() || m_watchdogThread.joinable()) {
        return 1;
    }
    {
        std::lock_guard<std::mutex> callbackLock(m_callbackMutex);
        m_callback = Callback{callback, user};
    }
    if (watchdogMode) {
        m_watchdogMode.store(true);
        m_idleCount.store(0);
        if (!StartThread(m_watchdogRunning, m_watchdogThread, &CTcpLink::WatchdogThread)) {
            SWL_PrintError(kSwlTcpLinkSource, 131);
            return 1;
        }
        return 0;
    }
    if (!StartThread(m_keepAliveRunning, m_keepAliveThread, &CTcpLink::KeepAliveThread)) {
        SWL_PrintError(kSwlTcpLinkSource, 141);
        return 1;
    }
    return 0;
}

int CTcpLink::StartRecvThread() {
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (m_recvThread.joinable()) {
        return 1;
    }
    if (!StartThread(m_recvRunning, m_recvThread, &CTcpLink::RecvThread)) {
        SWL_PrintError(kSwlTcpLinkSource, 701);
        return 2;
    }
    return 0;
}

void CTcpLink::RunPeriodic(const std::atomic<bool>& running, uint32_t intervalMs,
                           bool (CTcpLink::*tick)()) {
    // Wakes once an interval (at once when stopped or broken). Stopped: ends
    // quietly. Broken: reports it and ends. A tick that returns false has
    // found the link broken.
    const auto interval = std::chrono::milliseconds(intervalMs);
    auto next = SteadyClock::now() + interval;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_waitMutex);
            m_waitCv.wait_until(lock, next, [&] { return !running.load() || m_broken.load(); });
        }
        if (!running.load()) {
            return;
        }
        if (m_broken.load()) {
            ReportBroken();
            return;
        }
        const auto now = SteadyClock::now();
        if (now < next) {
            continue;
        }
        next += interval;
        if (next <= now) {
            next = now + interval;
        }
        if (!(this->*tick)()) {
            MarkBroken();
            ReportBroken();
            return;
        }
    }
}

bool CTcpLink::KeepAliveTick() {
    return SendKeepAlive() == 0;
}

bool CTcpLink::WatchdogTick() {
    // 20 steps without received data break the link.
    return m_idleCount.fetch_add(1) + 1 < m_timings.watchdogLimitTicks;
}

void CTcpLink::KeepAliveThread() {
    RunPeriodic(m_keepAliveRunning, m_timings.keepAliveIntervalMs, &CTcpLink::KeepAliveTick);
}

void CTcpLink::WatchdogThread() {
    RunPeriodic(m_watchdogRunning, m_timings.watchdogTickMs, &CTcpLink::WatchdogTick);
}

void CTcpLink::RecvThread() {
    while (m_recvRunning.load() && !m_broken.load()) {
        if (m_recvPauses.load() > 0) {
            std::unique_lock<std::mutex> lock(m_waitMutex);
            m_waitCv.wait_for(lock, std::chrono::milliseconds(kRecvThreadWaitMs), [this] {
                return m_recvPauses.load() == 0 || !m_recvRunning.load() || m_broken.load();
            });
            continue;
        }
        if (!WaitSocket(false, kRecvThreadWaitMs) || m_recvPauses.load() > 0) {
            continue;
        }
        uint8_t* message = nullptr;
        uint32_t length = 0;
        const int result = RecvMsg(message, length, false, 0);
        if (result == 0) {
            const Callback callback = GetCallback();
            if (callback.function != nullptr) {
                callback.function(callback.user, message, static_cast<int>(length));
            }
            FreeMsg(message);
        } else if (result != 1) {
            // Nothing reads this link any more once this thread ends, so a
            // protocol error (which alone does not break the link for a
            // direct reader) breaks it here and the owner hears of it.
            MarkBroken();
            return;
        }
    }
}

bool CTcpLink::WaitSocket(bool forWrite, uint32_t timeoutMs) {
    return SWL_WaitSocket(m_socket, forWrite, m_wake, timeoutMs) > 0;
}

void CTcpLink::PauseRecvThread() {
    m_recvPauses.fetch_add(1);
}

void CTcpLink::ResumeRecvThread() {
    if (m_recvPauses.fetch_sub(1) == 1) {
        { std::lock_guard<std::mutex> lock(m_waitMutex); }
        m_waitCv.notify_all();
    }
}

void CTcpLink::SetCloseHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_closeHook = std::move(hook);
}

int CTcpLink::Close() {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_callbackMutex);
        hook.swap(m_closeHook);
    }
    if (hook) {
        hook();
    }
    // From here on nobody reports the broken link: the owner is closing it.
    // A report already under way finishes before the threads are joined.
    m_reported.store(true);
    MarkBroken();
    {
        std::lock_guard<std::mutex> lock(m_startMutex);
        StopThread(m_recvRunning, m_recvThread);
        StopThread(m_watchdogRunning, m_watchdogThread);
        StopThread(m_keepAliveRunning, m_keepAliveThread);
    }
    SWL_Shutdown(m_socket);
    if (SWL_Close(m_socket) != 0) {
        SWL_PrintError(kSwlTcpLinkSource, 105);
    }
    if (m_deferredCloser.load() == std::thread::id()) {
        delete this;
    }
    return 0;
}
