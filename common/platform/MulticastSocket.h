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

    // Returns 0 or the system's error number of the failing step. A
    // bindAddress other than 0 (network byte order) binds the socket to that
    // local address instead: it then receives only what is sent to it (the
    // unicast answers to what it sent), and sends from it.
    int Open(uint16_t port, bool wantArrivalInterface, uint32_t bindAddress = 0);
    // Asks for a receive buffer of this size, beyond the system's usual
    // limit where the process may; returns the size granted.
    int SetReceiveBuffer(int bytes);
    void Close();

    bool Join(uint32_t group, const MulticastInterface& where);
    void Leave(uint32_t group, const MulticastInterface& where);

    // Sends to group:port out of the given interface with the hop limit.
    // Returns 0 or the system's error number of the failure.
    int SendTo(uint32_t group, uint16_t port, const MulticastInterface& via, int hopLimit,
               const std::vector<uint8_t>& datagram);
    // Sends to one address and port (network byte order address). Returns 0
    // or the system's error number.
    int SendToAddress(uint32_t address, uint16_t port, const std::vector<uint8_t>& datagram);
    // The local address and port the socket is bound to (network byte order
    // address); false when it is not open.
    bool LocalAddress(uint32_t& address, uint16_t& port) const;
    // True for a SendTo error that only means the send buffer is full: a
    // later try may pass.
    static bool IsBufferFull(int error);

    // Receives one datagram. Returns its full size (which may exceed the
    // buffer: then it was cut and must be dropped), -1 when nothing waits or
    // on error. arrivalIndex is the interface it came in on, when asked at Open.
    // fromAddress (network byte order) and fromPort, when given, get the sender.
    long Receive(uint8_t* buffer, size_t capacity, uint32_t* arrivalIndex,
                 uint32_t* fromAddress = nullptr, uint16_t* fromPort = nullptr);

    // What ended a Wait (both false: the time is up).
    struct WaitResult {
        bool woken = false;     // the wake event is set (the caller drains it)
        bool readable = false;  // a datagram waits
    };
    // Waits at most timeoutMs (0 or less: only looks) for a datagram or the
    // wake event.
    WaitResult Wait(const WakeEvent& wake, int64_t timeoutMs) const;
    // Waits at most timeoutMs for a datagram on any of the sockets or the
    // wake event; readable[i] tells which socket has one. True when woken.
    static bool WaitAny(const WakeEvent& wake, const std::vector<const MulticastSocket*>& sockets,
                        int64_t timeoutMs, std::vector<bool>& readable);

private:
    std::intptr_t m_fd = -1;  // a descriptor or a Windows SOCKET
    int m_lastHopLimit = -1;
};

}  // namespace platform
