#pragma once
// The answering side of the ONVIF discovery for simulated cameras: one
// thread on the discovery port that answers each probe (once per probe,
// however often it is repeated) with a unicast ProbeMatch from every camera
// it matches, after the camera's delay and a random 0..500 ms, and
// announces cameras with Hello and Bye (each sent twice, as senders do).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/MulticastSocket.h"
#include "common/platform/NetworkPlatform.h"
#include "common/platform/WakeEvent.h"
#include "sim/OnvifMessages.h"

namespace sim {

struct OnvifResponderDevice {
    OnvifTarget target;
    uint32_t address = 0;  // where it listens (network byte order): it answers on that link only
    uint32_t delayMs = 0;
    bool fault = false;
    bool hello = true;
    bool bye = true;
};

class OnvifResponder {
public:
    // Interfaces the discovery is answered and announced on; empty: every up
    // IPv4 interface. spreadMs: the random wait before an answer (0..spreadMs).
    explicit OnvifResponder(std::vector<std::string> interfaces, uint32_t spreadMs = 500,
                            platform::NetworkPlatform& net = platform::Network());
    ~OnvifResponder();
    OnvifResponder(const OnvifResponder&) = delete;
    OnvifResponder& operator=(const OnvifResponder&) = delete;

    // Opens the port, joins the group and starts the thread; the devices
    // joined so far say Hello. False with the reason.
    bool Start(std::string* error);
    // The devices say Bye; then the thread stops.
    void Stop();

    // Answers for the device from now on (and announces it when running).
    void Join(size_t index, OnvifResponderDevice device);
    // Stops answering for it (and announces its Bye).
    void Leave(size_t index);

    uint64_t ProbesReceived() const { return m_probes.load(); }
    uint64_t AnswersSent() const { return m_answers.load(); }

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        size_t index;
        uint32_t address;
        uint16_t port;
        std::string relatesTo;
    };

    void Run();
    void Announce(const OnvifResponderDevice& device, bool hello);
    std::vector<platform::MulticastInterface> Interfaces();
    // True when the camera's address is in a subnet of interface `index`.
    bool OnLink(const OnvifResponderDevice& device, uint32_t index,
                const std::vector<platform::AdapterInfo>& adapters) const;

    std::vector<std::string> m_interfaceNames;
    uint32_t m_spreadMs;
    platform::NetworkPlatform& m_net;
    uint32_t m_group = 0;
    uint32_t m_instanceId = 1;
    std::atomic<uint32_t> m_messageNumber{0};

    std::mutex m_devicesLock;  // guards m_devices and m_socket's sends from other threads
    std::map<size_t, OnvifResponderDevice> m_devices;

    platform::MulticastSocket m_socket;
    platform::WakeEvent m_wake;
    std::vector<platform::MulticastInterface> m_joined;
    std::multimap<std::chrono::steady_clock::time_point, Pending> m_pending;  // the thread's only
    std::deque<std::string> m_seenOrder;                                      // the thread's only
    std::set<std::string> m_seen;
    std::mt19937 m_random;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_probes{0};
    std::atomic<uint64_t> m_answers{0};
    std::thread m_thread;
};

}  // namespace sim
