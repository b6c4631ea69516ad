// The wake event on Windows: a UDP socket bound to 127.0.0.1 and connected to
// itself. Signal sends one byte to it, Drain reads every byte that waits, and
// WSAPoll sees it readable while a wake is pending, beside the socket the
// thread waits on.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/platform/WakeEvent.h"

namespace platform {
namespace {

SOCKET MakeSelfConnectedSocket() {
    SOCKET sock = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (sock == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = 0;
    int length = sizeof local;
    u_long nonBlocking = 1;
    if (::bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        ::connect(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(sock);
        return INVALID_SOCKET;
    }
    return sock;
}

}  // namespace

WakeEvent::WakeEvent() {
    // Winsock counts its starts: an event made before SWL_Init (or after
    // SWL_Quit) still has a socket library under it.
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return;
    }
    const SOCKET sock = MakeSelfConnectedSocket();
    if (sock == INVALID_SOCKET) {
        ::WSACleanup();
        return;
    }
    m_handle = static_cast<NativeHandle>(sock);
}

WakeEvent::~WakeEvent() {
    if (m_handle >= 0) {
        ::closesocket(static_cast<SOCKET>(m_handle));
        ::WSACleanup();
    }
}

void WakeEvent::Signal() {
    const char one = 1;
    // A full buffer means wakes are pending already.
    const int lastError = ::WSAGetLastError();
    (void)::send(static_cast<SOCKET>(m_handle), &one, 1, 0);
    ::WSASetLastError(lastError);
}

void WakeEvent::Drain() {
    const int lastError = ::WSAGetLastError();
    char bytes[64];
    while (::recv(static_cast<SOCKET>(m_handle), bytes, sizeof bytes, 0) > 0) {
    }
    ::WSASetLastError(lastError);
}

}  // namespace platform
