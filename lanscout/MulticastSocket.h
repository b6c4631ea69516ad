#pragma once
// The socket work shared by the searcher and the responder: a UDP socket
// bound to a port for multicast, group membership per interface, the
// outgoing interface and hop limit of each send, and an event that wakes a
// thread waiting in poll.

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/NetworkPlatform.h"

namespace lanscout {

// An interface the search runs on.
struct SearchInterface {
    std::string name;
    uint32_t index = 0;
    uint32_t address = 0;  // its first IPv4 address, network byte order
};

// The interfaces that are up and have an IPv4 address, loopback included,
// in interface order; only those named when names is not empty.
std::vector<SearchInterface> SelectInterfaces(platform::NetworkPlatform& net,
                                              const std::vector<std::string>& names);

// Owns a non-blocking UDP socket bound to INADDR_ANY:port that shares the
// port with other searchers and responders on the host and receives only
// the groups it joined on the interface they arrive on.
class MulticastSocket {
public:
    MulticastSocket() = default;
    ~MulticastSocket();
    MulticastSocket(const MulticastSocket&) = delete;
    MulticastSocket& operator=(const MulticastSocket&) = delete;

    // Returns 0 or the errno of the failing step.
    int Open(uint16_t port, bool wantArrivalInterface);
    void Close();
    int Fd() const { return m_fd; }

    bool Join(uint32_t group, const SearchInterface& where);
    void Leave(uint32_t group, const SearchInterface& where);

    // Sends to group:port out of the given interface with the hop limit.
    // Returns 0 or the errno of the failure (EAGAIN when the send buffer is full).
    int SendTo(uint32_t group, uint16_t port, const SearchInterface& via, int hopLimit,
               const std::vector<uint8_t>& datagram);

    // Receives one datagram. Returns its full size (which may exceed the
    // buffer: then it was cut and must be dropped), -1 when nothing waits or
    // on error. arrivalIndex is the interface it came in on, when asked at Open.
    long Receive(uint8_t* buffer, size_t capacity, uint32_t* arrivalIndex);

private:
    int m_fd = -1;
    int m_lastHopLimit = -1;
};

// Tracks the interfaces a socket joined the group on and follows the
// selected set: joins new interfaces, leaves those no longer selected.
class Memberships {
public:
    Memberships(MulticastSocket& socket, uint32_t group) : m_socket(socket), m_group(group) {}

    void Update(const std::vector<SearchInterface>& selected);
    void LeaveAll();
    const std::vector<SearchInterface>& Joined() const { return m_joined; }
    const SearchInterface* Find(uint32_t index) const;

private:
    MulticastSocket& m_socket;
    uint32_t m_group;
    std::vector<SearchInterface> m_joined;
};

// Wakes a thread that waits in poll on Fd().
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool Valid() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Signal();
    void Drain();

private:
    int m_fd = -1;
};

}  // namespace lanscout
