#pragma once
// An event that wakes a thread waiting on a socket: once signalled it stays
// set until drained, so a wake given before the wait is not lost. The
// socket waits (SWL_WaitSocket, MulticastSocket::WaitReadable) take it
// beside the socket.

#include <cstdint>

namespace platform {

// On Linux an eventfd; on Windows a datagram socket on loopback connected to
// itself, so that WSAPoll can wait on it beside other sockets (a socket takes
// only one WSAEventSelect, and the link waits on its socket for reading and
// for writing from two threads).

class WakeEvent {
public:
    // The system's handle of the event: a descriptor, or a Windows SOCKET
    // (64 bits wide; INVALID_SOCKET reads as -1).
    using NativeHandle = std::intptr_t;

    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when the system could not make the event.
    bool Valid() const { return m_handle >= 0; }
    void Signal();
    // Clears the event.
    void Drain();
    NativeHandle Native() const { return m_handle; }

private:
    NativeHandle m_handle = -1;
};

}  // namespace platform
