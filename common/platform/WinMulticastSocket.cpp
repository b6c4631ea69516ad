// The search's multicast socket on Winsock 2. Differences from Linux:
// - groups are joined by the interface's address (joining by index is
//   refused by some stacks, Wine's among them);
// - a socket receives only the groups it joined itself, so there is no
//   IP_MULTICAST_ALL to turn off;
// - the arrival interface comes from WSARecvMsg's IP_PKTINFO;
// - a datagram larger than the buffer fails with WSAEMSGSIZE.
// Errors are Winsock's numbers (WSAGetLastError).
#include <winsock2.h>  // first: the other Windows headers need it

#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/platform/Diagnostics.h"
#include "common/platform/MulticastSocket.h"

namespace platform {
namespace {

constexpr int kSocketBufferBytes = 1 << 20;

SOCKET Sock(std::intptr_t fd) {
    return static_cast<SOCKET>(fd);
}

ip_mreq MakeRequest(uint32_t group, const MulticastInterface& where) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = group;
    request.imr_interface.s_addr = where.address;
    return request;
}

LPFN_WSARECVMSG RecvMsgFunction(SOCKET sock) {
    GUID guid = WSAID_WSARECVMSG;
    LPFN_WSARECVMSG function = nullptr;
    DWORD bytes = 0;
    if (::WSAIoctl(sock, SIO_GET_EXTENSION_FUNCTION_POINTER, &guid, sizeof guid, &function,
                   sizeof function, &bytes, nullptr, nullptr) != 0) {
        return nullptr;
    }
    return function;
}

}  // namespace

MulticastSocket::~MulticastSocket() {
    Close();
}

int MulticastSocket::Open(uint16_t port, bool wantArrivalInterface, uint32_t bindAddress) {
    Close();
    WSADATA data{};
    const int started = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0) {
        return started;
    }
    const SOCKET sock = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (sock == INVALID_SOCKET) {
        const int err = ::WSAGetLastError();
        ::WSACleanup();
        return err;
    }
    const BOOL on = TRUE;
    const DWORD loop = 1;
    const int bufferBytes = kSocketBufferBytes;
    u_long nonBlocking = 1;
    const auto fail = [sock] {
        const int err = ::WSAGetLastError();
        ::closesocket(sock);
        ::WSACleanup();
        return err;
    };
    // Several searchers and responders may share the port on one host.
    if (::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0 ||
        ::setsockopt(sock, IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&loop),
                     sizeof loop) != 0 ||
        (wantArrivalInterface &&
         ::setsockopt(sock, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on),
                      sizeof on) != 0) ||
        ::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) {
        return fail();
    }
    // An ICMP "port unreachable" for an earlier send must not fail the
    // next receive (Windows' WSAECONNRESET on UDP).
    BOOL reportResets = FALSE;
    DWORD returned = 0;
    (void)::WSAIoctl(sock, SIO_UDP_CONNRESET, &reportResets, sizeof reportResets, nullptr, 0,
                     &returned, nullptr, nullptr);
    (void)::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes),
                       sizeof bufferBytes);
    (void)::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bufferBytes),
                       sizeof bufferBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = bindAddress != 0 ? bindAddress : htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail();
    }
    m_fd = static_cast<std::intptr_t>(sock);
    m_lastHopLimit = -1;
    return 0;
}

int MulticastSocket::SetReceiveBuffer(int bytes) {
    (void)::setsockopt(Sock(m_fd), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                       sizeof bytes);
    int granted = 0;
    int length = sizeof granted;
    if (::getsockopt(Sock(m_fd), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&granted),
                     &length) != 0) {
        return 0;
    }
    return granted;
}

bool MulticastSocket::LocalAddress(uint32_t& address, uint16_t& port) const {
    sockaddr_in local{};
    int length = sizeof local;
    if (m_fd < 0 || ::getsockname(Sock(m_fd), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return false;
    }
    address = local.sin_addr.s_addr;
    port = ntohs(local.sin_port);
    return true;
}

int MulticastSocket::SendToAddress(uint32_t address, uint16_t port,
                                   const std::vector<uint8_t>& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    const int sent = ::sendto(Sock(m_fd), reinterpret_cast<const char*>(datagram.data()),
                              static_cast<int>(datagram.size()), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == SOCKET_ERROR ? ::WSAGetLastError() : 0;
}

bool MulticastSocket::WaitAny(const WakeEvent& wake,
                              const std::vector<const MulticastSocket*>& sockets, int64_t timeoutMs,
                              std::vector<bool>& readable) {
    std::vector<WSAPOLLFD> fds(sockets.size() + 1);
    fds[0].fd = static_cast<SOCKET>(wake.Native());
    fds[0].events = POLLRDNORM;
    for (size_t i = 0; i < sockets.size(); ++i) {
        fds[i + 1].fd = Sock(sockets[i]->m_fd);
        fds[i + 1].events = POLLRDNORM;
    }
    readable.assign(sockets.size(), false);
    const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()),
                                static_cast<INT>(std::clamp<int64_t>(timeoutMs, 0, INT32_MAX)));
    if (ready <= 0) {
        return false;
    }
    for (size_t i = 0; i < sockets.size(); ++i) {
        readable[i] = (fds[i + 1].revents & (POLLRDNORM | POLLERR | POLLHUP)) != 0;
    }
    return (fds[0].revents & POLLRDNORM) != 0;
}

void MulticastSocket::Close() {
    if (m_fd >= 0) {
        ::closesocket(Sock(m_fd));
        ::WSACleanup();
        m_fd = -1;
    }
}

bool MulticastSocket::Join(uint32_t group, const MulticastInterface& where) {
    const ip_mreq request = MakeRequest(group, where);
    if (::setsockopt(Sock(m_fd), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                     reinterpret_cast<const char*>(&request), sizeof request) != 0) {
        const int err = ::WSAGetLastError();
        if (err == WSAEADDRINUSE) {
            return true;  // joined already
        }
        DiagPrintf("lanscout: joining the search group on %s failed: %d\n", where.name.c_str(),
                   err);
        return false;
    }
    return true;
}

void MulticastSocket::Leave(uint32_t group, const MulticastInterface& where) {
    const ip_mreq request = MakeRequest(group, where);
    (void)::setsockopt(Sock(m_fd), IPPROTO_IP, IP_DROP_MEMBERSHIP,
                       reinterpret_cast<const char*>(&request), sizeof request);
}

int MulticastSocket::SendTo(uint32_t group, uint16_t port, const MulticastInterface& via,
                            int hopLimit, const std::vector<uint8_t>& datagram) {
    in_addr out{};
    out.s_addr = via.address;
    if (::setsockopt(Sock(m_fd), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&out),
                     sizeof out) != 0) {
        return ::WSAGetLastError();
    }
    if (hopLimit != m_lastHopLimit) {
        const DWORD ttl = static_cast<DWORD>(hopLimit);
        if (::setsockopt(Sock(m_fd), IPPROTO_IP, IP_MULTICAST_TTL,
                         reinterpret_cast<const char*>(&ttl), sizeof ttl) != 0) {
            return ::WSAGetLastError();
        }
        m_lastHopLimit = hopLimit;
    }
    return SendToAddress(group, port, datagram);
}

bool MulticastSocket::IsBufferFull(int error) {
    return error == WSAEWOULDBLOCK || error == WSAENOBUFS;
}

MulticastSocket::WaitResult MulticastSocket::Wait(const WakeEvent& wake, int64_t timeoutMs) const {
    WaitResult result;
    WSAPOLLFD fds[2] = {};
    fds[0].fd = static_cast<SOCKET>(wake.Native());
    fds[0].events = POLLRDNORM;
    fds[1].fd = Sock(m_fd);
    fds[1].events = POLLRDNORM;
    const int ready =
        ::WSAPoll(fds, 2, static_cast<INT>(std::clamp<int64_t>(timeoutMs, 0, INT32_MAX)));
    if (ready <= 0) {
        return result;
    }
    result.woken = (fds[0].revents & POLLRDNORM) != 0;
    result.readable = (fds[1].revents & (POLLRDNORM | POLLERR | POLLHUP)) != 0;
    return result;
}

long MulticastSocket::Receive(uint8_t* buffer, size_t capacity, uint32_t* arrivalIndex,
                              uint32_t* fromAddress, uint16_t* fromPort) {
    const SOCKET sock = Sock(m_fd);
    sockaddr_in from{};
    const auto tellSender = [&] {
        if (fromAddress != nullptr) {
            *fromAddress = from.sin_addr.s_addr;
        }
        if (fromPort != nullptr) {
            *fromPort = ntohs(from.sin_port);
        }
    };
    if (arrivalIndex == nullptr) {
        int fromLength = sizeof from;
        const int size =
            ::recvfrom(sock, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size == SOCKET_ERROR) {
            // The datagram was cut to the buffer and the rest dropped.
            return ::WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(capacity) + 1 : -1;
        }
        tellSender();
        return size;
    }
    *arrivalIndex = 0;
    static const LPFN_WSARECVMSG recvMsg = RecvMsgFunction(sock);
    if (recvMsg == nullptr) {
        return -1;
    }
    WSABUF data{static_cast<ULONG>(capacity), reinterpret_cast<char*>(buffer)};
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &data;
    message.dwBufferCount = 1;
    message.Control.buf = control;
    message.Control.len = sizeof control;
    DWORD size = 0;
    if (recvMsg(sock, &message, &size, nullptr, nullptr) != 0) {
        return ::WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(capacity) + 1 : -1;
    }
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr;
         c = WSA_CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            IN_PKTINFO info{};
            std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
            *arrivalIndex = static_cast<uint32_t>(info.ipi_ifindex);
        }
    }
    if ((message.dwFlags & MSG_TRUNC) != 0) {
        return static_cast<long>(capacity) + 1;
    }
    tellSender();
    return static_cast<long>(size);
}

}  // namespace platform
