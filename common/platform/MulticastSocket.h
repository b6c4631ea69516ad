#pragma once
// The multicast socket of the search and its responder: a UDP socket bound
// to a port for multicast, group membership per interface, the outgoing
// interface and hop limit of each send, and a wait that a WakeEvent ends.
// Errors are the system's numbers, for diagnostics prints; IsBufferFull
// tells the one a caller acts on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/WakeEvent.h"

namespace platform {

// An interface to join, send and receive on.
struct MulticastInterface {
    std::string name;
    uint32_t index = 0;
    uint32_t address = 0;  // its first IPv4 address, network byte order
};

// Owns a non-blocking UDP socket bound to INADDR_ANY:port that shares the
// port with other searchers and responders on the host and receives only
// the groups it joined on the interface they arrive on.
class MulticastSocket {
public:
    MulticastSocket() = default;
    ~MulticastSocket();
    MulticastSocket(const MulticastSocket&) = delete;
    MulticastSocket& operator=(const MulticastSocket&) = delete;

    // Returns 0 or the system's error number of the failing step.
    int Open(uint16_t port, bool wantArrivalInterface);
    void Close();

    bool Join(uint32_t group, const MulticastInterface& where);
    void Leave(uint32_t group, const MulticastInterface& where);

    // Sends to group:port out of the given interface with the hop limit.
    // Returns 0 or the system's error number of the failure.
    int SendTo(uint32_t group, uint16_t port, const MulticastInterface& via, int hopLimit,
               const std::vector<uint8_t>& datagram);
    // True for a SendTo error that only means the send buffer is full: a
    // later try may pass.
    static bool IsBufferFull(int error);

    // Receives one datagram. Returns its full size (which may exceed the
    // buffer: then it was cut and must be dropped), -1 when nothing waits or
    // on error. arrivalIndex is the interface it came in on, when asked at Open.
    long Receive(uint8_t* buffer, size_t capacity, uint32_t* arrivalIndex);

    // What ended a Wait (both false: the time is up).
    struct WaitResult {
        bool woken = false;     // the wake event is set (the caller drains it)
        bool readable = false;  // a datagram waits
    };
    // Waits at most timeoutMs (0 or less: only looks) for a datagram or the
    // wake event.
    WaitResult Wait(const WakeEvent& wake, int64_t timeoutMs) const;

private:
    std::intptr_t m_fd = -1;  // a descriptor or a Windows SOCKET
    int m_lastHopLimit = -1;
};

}  // namespace platform
