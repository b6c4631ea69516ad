#pragma once
// Lets an owner that is going away end its workers' connection attempts
// early: connects in progress stop at their next waiting slice, and no
// worker starts a new step. A cancelled worker still reports (its result
// then reaches nobody who waits for it).

#include <atomic>
#include <mutex>
#include <vector>

class CConnectProc;

class ConnectCancel {
public:
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(); }
    // A connector in progress is registered while it connects.
    bool Register(CConnectProc* connector);  // false when already cancelled
    void Unregister(CConnectProc* connector);

private:
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    std::vector<CConnectProc*> m_active;
};
