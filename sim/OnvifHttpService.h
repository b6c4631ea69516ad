#pragma once
// The ONVIF device service of one simulated camera, on the simulator's loop
// thread: HTTP/1.1 on the device's address and HTTP port, with keep-alive.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "sim/OnvifDeviceAnswer.h"

namespace sim {

class EventLoop;
class SimDevice;

class OnvifHttpService {
public:
    OnvifHttpService(EventLoop& loop, SimDevice& device);
    ~OnvifHttpService();
    OnvifHttpService(const OnvifHttpService&) = delete;
    OnvifHttpService& operator=(const OnvifHttpService&) = delete;

    // Binds the device's address and HTTP port (0: any free one); false with the reason.
    bool Listen(std::string& error);
    uint16_t Port() const { return m_port; }

private:
    struct Client;
    void OnAccept();
    void OnReadable(uint64_t id);
    void Close(uint64_t id);

    EventLoop& m_loop;
    SimDevice& m_device;
    int m_listenFd = -1;
    uint64_t m_watch = 0;
    uint16_t m_port = 0;
    uint64_t m_nextId = 1;
    OnvifAuthState m_auth;
    std::map<uint64_t, std::unique_ptr<Client>> m_clients;
};

}  // namespace sim
