#include "common/platform/MulticastSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/platform/Diagnostics.h"

namespace platform {
namespace {

// Room for received answers of a large fleet answering within one spread.
constexpr int kSocketBufferBytes = 1 << 20;

ip_mreqn MakeRequest(uint32_t group, const MulticastInterface& where) {
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = group;
    request.imr_address.s_addr = where.address;
    request.imr_ifindex = static_cast<int>(where.index);
    return request;
}

}  // namespace

MulticastSocket::~MulticastSocket() {
    Close();
}

int MulticastSocket::Open(uint16_t port, bool wantArrivalInterface, uint32_t bindAddress) {
    Close();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    const int on = 1;
    const int off = 0;
    const int bufferBytes = kSocketBufferBytes;
    // Several searchers and responders may share the port on one host;
    // multicast reaches each of them.
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        // Only groups joined on the arrival interface: this is what makes
        // the restriction to named interfaces hold on the receiving side.
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0 ||
        // Searchers and responders on the same host hear each other.
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on) != 0 ||
        (wantArrivalInterface && setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0)) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    // Larger buffers are a help, not a need: failures are ignored.
    (void)setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    (void)setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = bindAddress != 0 ? bindAddress : htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    m_fd = fd;
    m_lastHopLimit = -1;
    return 0;
}

int MulticastSocket::SetReceiveBuffer(int bytes) {
    // The forced form passes the system's limit; only a privileged process may.
    if (setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        (void)setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    int granted = 0;
    socklen_t length = sizeof granted;
    if (getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0) {
        return 0;
    }
    return granted;
}

bool MulticastSocket::LocalAddress(uint32_t& address, uint16_t& port) const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
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
    const ssize_t sent = sendto(m_fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent < 0 ? errno : 0;
}

bool MulticastSocket::WaitAny(const WakeEvent& wake,
                              const std::vector<const MulticastSocket*>& sockets, int64_t timeoutMs,
                              std::vector<bool>& readable) {
    std::vector<pollfd> fds;
    fds.reserve(sockets.size() + 1);
    fds.push_back({static_cast<int>(wake.Native()), POLLIN, 0});
    for (const MulticastSocket* s : sockets) {
        fds.push_back({static_cast<int>(s->m_fd), POLLIN, 0});
    }
    readable.assign(sockets.size(), false);
    const int ready =
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(timeoutMs, 0)));
    if (ready <= 0) {
        return false;
    }
    for (size_t i = 0; i < sockets.size(); ++i) {
        readable[i] = (fds[i + 1].revents & POLLIN) != 0;
    }
    return (fds[0].revents & POLLIN) != 0;
}

void MulticastSocket::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool MulticastSocket::Join(uint32_t group, const MulticastInterface& where) {
    ip_mreqn request = MakeRequest(group, where);
    request.imr_address.s_addr = 0;  // the index alone picks the interface
    if (setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        const int err = errno;
        if (err == EADDRINUSE) {
            return true;  // joined already
        }
        DiagPrintf("lanscout: joining the search group on %s failed: %s\n", where.name.c_str(),
                   std::strerror(err));
        return false;
    }
    return true;
}

void MulticastSocket::Leave(uint32_t group, const MulticastInterface& where) {
    ip_mreqn request = MakeRequest(group, where);
    request.imr_address.s_addr = 0;
    // The kernel drops the membership itself when the interface vanished.
    (void)setsockopt(m_fd, IPPROTO_IP, IP_DROP_MEMBERSHIP, &request, sizeof request);
}

int MulticastSocket::SendTo(uint32_t group, uint16_t port, const MulticastInterface& via,
                            int hopLimit, const std::vector<uint8_t>& datagram) {
    // The interface's own address as source: on loopback the kernel would
    // otherwise send from 0.0.0.0.
    const ip_mreqn request = MakeRequest(group, via);
    if (setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) != 0) {
        return errno;
    }
    if (hopLimit != m_lastHopLimit) {
        const int ttl = hopLimit;
        if (setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
            return errno;
        }
        m_lastHopLimit = hopLimit;
    }
    return SendToAddress(group, port, datagram);
}

bool MulticastSocket::IsBufferFull(int error) {
    return error == EAGAIN || error == ENOBUFS;
}

MulticastSocket::WaitResult MulticastSocket::Wait(const WakeEvent& wake, int64_t timeoutMs) const {
    WaitResult result;
    pollfd fds[2] = {{static_cast<int>(wake.Native()), POLLIN, 0},
                     {static_cast<int>(m_fd), POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(std::max<int64_t>(timeoutMs, 0)));
    if (ready <= 0) {
        return result;
    }
    result.woken = (fds[0].revents & POLLIN) != 0;
    result.readable = (fds[1].revents & POLLIN) != 0;
    return result;
}

long MulticastSocket::Receive(uint8_t* buffer, size_t capacity, uint32_t* arrivalIndex,
                              uint32_t* fromAddress, uint16_t* fromPort) {
    iovec io{buffer, capacity};
    sockaddr_in from{};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC: the result is the datagram's full size, so oversized ones are seen.
    const ssize_t size = recvmsg(m_fd, &message, MSG_DONTWAIT | MSG_TRUNC);
    if (size < 0) {
        return -1;
    }
    if (fromAddress != nullptr) {
        *fromAddress = from.sin_addr.s_addr;
    }
    if (fromPort != nullptr) {
        *fromPort = ntohs(from.sin_port);
    }
    if (arrivalIndex != nullptr) {
        *arrivalIndex = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
                c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                *arrivalIndex = static_cast<uint32_t>(info.ipi_ifindex);
            }
        }
    }
    if ((message.msg_flags & MSG_TRUNC) != 0 && static_cast<size_t>(size) <= capacity) {
        return static_cast<long>(capacity) + 1;
    }
    return static_cast<long>(size);
}

}  // namespace platform
