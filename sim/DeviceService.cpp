#include "sim/DeviceService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/Connection.h"
#include "sim/EventLoop.h"
#include "sim/SimDevice.h"

namespace sim {

namespace {
constexpr int kBacklog = 128;
constexpr uint32_t kAcceptPauseMs = 100;
}  // namespace

DeviceService::DeviceService(EventLoop& loop, SimDevice& device, SessionTally* tally)
    : m_loop(loop), m_device(device), m_tally(tally) {}

DeviceService::~DeviceService() {
    m_connections.clear();
    if (m_pauseTimer != 0) {
        m_loop.Cancel(m_pauseTimer);
    }
    if (m_watch != 0) {
        m_loop.Unwatch(m_watch);
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

bool DeviceService::Listen(std::string& error) {
    const auto config = m_device.Config();
    const std::string& address = config->identity.listenAddress;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(config->identity.dataPort);
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
        error = "\"" + address + "\" is not an IPv4 address";
        return false;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (m_listenFd < 0 ||
        ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(m_listenFd, kBacklog) != 0) {
        error = "cannot listen on " + address + ":" + std::to_string(config->identity.dataPort) +
                ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof a;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&a), &length);
    m_device.SetBoundPort(ntohs(a.sin_port));
    m_watch = m_loop.Watch(m_listenFd, EPOLLIN, [this](uint32_t) { OnAccept(); });
    if (m_watch == 0) {
        error = "cannot watch the listening socket";
        return false;
    }
    return true;
}

void DeviceService::OnAccept() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: the waiting connection stays readable,
                // so look again later instead of spinning on it.
                m_loop.Modify(m_watch, 0);
                m_pauseTimer = m_loop.After(kAcceptPauseMs, [this] {
                    m_pauseTimer = 0;
                    m_loop.Modify(m_watch, EPOLLIN);
                });
            }
            return;  // drained (EAGAIN), or a connection that went away before it was taken
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const uint64_t id = m_nextId++;
        auto connection = std::make_unique<Connection>(m_loop, *this, m_device, fd, id);
        Connection* raw = connection.get();
        m_connections.emplace(id, std::move(connection));
        raw->Start();
    }
}

void DeviceService::Forget(uint64_t id) {
    // Not now: the connection may be deep in its own handler.
    m_loop.Post([this, id] { m_connections.erase(id); });
}

void DeviceService::SessionOpened() {
    ++m_sessions;
    if (m_tally != nullptr) {
        const uint32_t open = ++m_tally->open;
        uint32_t peak = m_tally->peak.load();
        while (open > peak && !m_tally->peak.compare_exchange_weak(peak, open)) {
        }
    }
    m_device.Records().Modify([this](DeviceRecords& r) { r.openSessions = m_sessions; });
}

void DeviceService::SessionClosed() {
    if (m_sessions > 0) {
        --m_sessions;
        if (m_tally != nullptr) {
            --m_tally->open;
        }
    }
    m_device.Records().Modify([this](DeviceRecords& r) { r.openSessions = m_sessions; });
}

}  // namespace sim
