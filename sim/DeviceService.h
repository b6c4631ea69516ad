#pragma once
// The network side of one simulated device, on the simulator's loop
// thread: its listening socket and the connections it accepted, and the
// count of logged-in sessions the session limit is measured against.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace sim {

class Connection;
class EventLoop;
class SimDevice;

// Logged-in sessions across the whole fleet, now and at the most.
struct SessionTally {
    std::atomic<uint32_t> open{0};
    std::atomic<uint32_t> peak{0};
};

class DeviceService {
public:
    DeviceService(EventLoop& loop, SimDevice& device, SessionTally* tally = nullptr);
    ~DeviceService();
    DeviceService(const DeviceService&) = delete;
    DeviceService& operator=(const DeviceService&) = delete;

    // Binds the device's address and data port and starts accepting (call
    // before the loop runs, or on its thread). False with the reason.
    bool Listen(std::string& error);

    // Connection bookkeeping, from the connections themselves.
    void Forget(uint64_t id);  // deletes the connection once the current event is done
    uint32_t Sessions() const { return m_sessions; }
    void SessionOpened();
    void SessionClosed();

private:
    void OnAccept();

    EventLoop& m_loop;
    SimDevice& m_device;
    SessionTally* m_tally;
    int m_listenFd = -1;
    uint64_t m_watch = 0;
    uint64_t m_pauseTimer = 0;
    uint64_t m_nextId = 1;
    uint32_t m_sessions = 0;
    std::map<uint64_t, std::unique_ptr<Connection>> m_connections;
};

}  // namespace sim
