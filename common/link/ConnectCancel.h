#pragma once
// Lets an owner that is going away end its workers early: connects in
// progress stop at their next waiting slice, live links are broken (which
// wakes every wait on them), and no worker starts a new step. A cancelled
// worker still reports (its result then reaches nobody who waits for it).

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

class CConnectProc;
class CTcpLink;

class ConnectCancel {
public:
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(); }
    // A connector in progress is registered while it connects.
    bool Register(CConnectProc* connector);  // false when already cancelled
    void Unregister(CConnectProc* connector);
    // A live link is registered while a worker uses it: a token, 0 when
    // already cancelled. Unregistering a token twice is harmless.
    uint64_t RegisterLink(CTcpLink* link);
    void UnregisterLink(uint64_t token);

private:
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    std::vector<CConnectProc*> m_active;
    uint64_t m_nextToken = 1;
    std::map<uint64_t, CTcpLink*> m_links;
};

// Keeps a live link registered while the guard lives, and never longer than
// the link: closing the link unregisters it too. Cancelled() tells a worker
// that its owner has gone.
class CancelLinkGuard {
public:
    CancelLinkGuard(ConnectCancel* cancel, CTcpLink* link);
    ~CancelLinkGuard();
    CancelLinkGuard(const CancelLinkGuard&) = delete;
    CancelLinkGuard& operator=(const CancelLinkGuard&) = delete;
    bool Cancelled() const { return m_cancel != nullptr && m_cancel->Cancelled(); }

private:
    ConnectCancel* m_cancel;
    uint64_t m_token = 0;
};
