#include "lanscout/MulticastSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/platform/Diagnostics.h"

namespace lanscout {
namespace {

// Room for received answers of a large fleet answering within one spread.
constexpr int kSocketBufferBytes = 1 << 20;

ip_mreqn MakeRequest(uint32_t group, const SearchInterface& where) {
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = group;
    request.imr_address.s_addr = where.address;
    request.imr_ifindex = static_cast<int>(where.index);
    return request;
}

}  // namespace

std::vector<SearchInterface> SelectInterfaces(platform::NetworkPlatform& net,
                                              const std::vector<std::string>& names) {
    std::vector<SearchInterface> result;
    std::vector<platform::AdapterInfo> adapters;
    if (net.GetAdapters(adapters) != platform::kNetOk) {
        return result;
    }
    for (const auto& adapter : adapters) {
        if (!adapter.up || adapter.addresses.empty() || adapter.index == 0) {
            continue;
        }
        if (!names.empty() && std::find(names.begin(), names.end(), adapter.name) == names.end()) {
            continue;
        }
        result.push_back(
            SearchInterface{adapter.name, adapter.index, adapter.addresses[0].address});
    }
    return result;
}

MulticastSocket::~MulticastSocket() {
    Close();
}

int MulticastSocket::Open(uint16_t port, bool wantArrivalInterface) {
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
    local.sin_addr.s_addr = htonl(INADDR_ANY);
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

void MulticastSocket::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool MulticastSocket::Join(uint32_t group, const SearchInterface& where) {
    ip_mreqn request = MakeRequest(group, where);
    request.imr_address.s_addr = 0;  // the index alone picks the interface
    if (setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        const int err = errno;
        if (err == EADDRINUSE) {
            return true;  // joined already
        }
        platform::DiagPrintf("lanscout: joining the search group on %s failed: %s\n",
                             where.name.c_str(), std::strerror(err));
        return false;
    }
    return true;
}

void MulticastSocket::Leave(uint32_t group, const SearchInterface& where) {
    ip_mreqn request = MakeRequest(group, where);
    request.imr_address.s_addr = 0;
    // The kernel drops the membership itself when the interface vanished.
    (void)setsockopt(m_fd, IPPROTO_IP, IP_DROP_MEMBERSHIP, &request, sizeof request);
}

int MulticastSocket::SendTo(uint32_t group, uint16_t port, const SearchInterface& via, int hopLimit,
                            const std::vector<uint8_t>& datagram) {
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
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = group;
    to.sin_port = htons(port);
    const ssize_t sent = sendto(m_fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent < 0) {
        return errno;
    }
    return 0;
}

long MulticastSocket::Receive(uint8_t* buffer, size_t capacity, uint32_t* arrivalIndex) {
    iovec io{buffer, capacity};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC: the result is the datagram's full size, so oversized ones are seen.
    const ssize_t size = recvmsg(m_fd, &message, MSG_DONTWAIT | MSG_TRUNC);
    if (size < 0) {
        return -1;
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

void Memberships::Update(const std::vector<SearchInterface>& selected) {
    const auto same = [](const SearchInterface& a, const SearchInterface& b) {
        return a.index == b.index && a.name == b.name;
    };
    for (const auto& joined : m_joined) {
        if (std::none_of(selected.begin(), selected.end(),
                         [&](const SearchInterface& s) { return same(s, joined); })) {
            m_socket.Leave(m_group, joined);
        }
    }
    // In the selection's order (interface order), with each interface's
    // current address.
    std::vector<SearchInterface> next;
    for (const auto& candidate : selected) {
        const bool wasJoined =
            std::any_of(m_joined.begin(), m_joined.end(),
                        [&](const SearchInterface& j) { return same(j, candidate); });
        if (wasJoined || m_socket.Join(m_group, candidate)) {
            next.push_back(candidate);
        }
    }
    m_joined = std::move(next);
}

void Memberships::LeaveAll() {
    for (const auto& joined : m_joined) {
        m_socket.Leave(m_group, joined);
    }
    m_joined.clear();
}

const SearchInterface* Memberships::Find(uint32_t index) const {
    for (const auto& joined : m_joined) {
        if (joined.index == index) {
            return &joined;
        }
    }
    return nullptr;
}

WakeEvent::WakeEvent() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void WakeEvent::Signal() {
    const uint64_t one = 1;
    // A full counter means a wake is pending already.
    (void)!write(m_fd, &one, sizeof one);
}

void WakeEvent::Drain() {
    uint64_t value = 0;
    (void)!read(m_fd, &value, sizeof value);
}

}  // namespace lanscout
