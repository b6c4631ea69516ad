#include "sim/OnvifHttpService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "sim/EventLoop.h"
#include "sim/HttpAnswer.h"
#include "sim/SimDevice.h"

namespace sim {
namespace {

constexpr size_t kMaxHead = 16 * 1024;
constexpr size_t kMaxBody = 256 * 1024;
constexpr size_t kMaxClients = 64;
constexpr size_t kMaxRecordedCalls = 256;

int64_t HostUtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}


}  // namespace

struct OnvifHttpService::Client {
    int fd = -1;
    uint64_t watch = 0;
    std::string in;
};

OnvifHttpService::OnvifHttpService(EventLoop& loop, SimDevice& device)
    : m_loop(loop), m_device(device) {}

OnvifHttpService::~OnvifHttpService() {
    for (auto& [id, client] : m_clients) {
        (void)id;
        m_loop.Unwatch(client->watch);
        ::close(client->fd);
    }
    if (m_watch != 0) {
        m_loop.Unwatch(m_watch);
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

bool OnvifHttpService::Listen(std::string& error) {
    const auto config = m_device.Config();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(config->identity.httpPort);
    inet_pton(AF_INET, config->identity.listenAddress.c_str(), &a.sin_addr);
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (m_listenFd < 0 ||
        ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(m_listenFd, 64) != 0) {
        error = "cannot listen for ONVIF on " + config->identity.listenAddress + ":" +
                std::to_string(config->identity.httpPort) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof a;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&a), &length);
    m_port = ntohs(a.sin_port);
    m_watch = m_loop.Watch(m_listenFd, EPOLLIN, [this](uint32_t) { OnAccept(); });
    if (m_watch == 0) {
        error = "cannot watch the ONVIF socket";
        return false;
    }
    return true;
}

void OnvifHttpService::OnAccept() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (m_clients.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        const uint64_t id = m_nextId++;
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->watch = m_loop.Watch(fd, EPOLLIN, [this, id](uint32_t) { OnReadable(id); });
        m_clients.emplace(id, std::move(client));
    }
}

void OnvifHttpService::Close(uint64_t id) {
    auto it = m_clients.find(id);
    if (it == m_clients.end()) {
        return;
    }
    m_loop.Unwatch(it->second->watch);
    ::close(it->second->fd);
    // Not now: the handler that called may still be running for this client.
    Client* raw = it->second.release();
    m_clients.erase(it);
    m_loop.Post([raw] { delete raw; });
}

void OnvifHttpService::OnReadable(uint64_t id) {
    auto it = m_clients.find(id);
    if (it == m_clients.end()) {
        return;
    }
    Client& c = *it->second;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            c.in.append(buffer, static_cast<size_t>(n));
            if (c.in.size() > kMaxHead + kMaxBody) {
                Close(id);
                return;
            }
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            Close(id);
            return;
        }
        if (errno != EINTR) {
            break;
        }
    }
    for (;;) {
        HttpRequestHead head;
        const HttpParse parsed = ParseHttpRequest(c.in, kMaxHead, kMaxBody, head);
        if (parsed == HttpParse::NeedMore) {
            return;
        }
        std::string response;
        bool keepAlive = head.keepAlive;
        if (parsed == HttpParse::Bad) {
            response = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            keepAlive = false;
        } else {
            const auto config = m_device.Config();
            const std::string_view body(c.in.data() + head.headLength, head.contentLength);
            const int64_t deviceUtc = HostUtcMs() + int64_t{config->onvif.clockOffsetS} * 1000;
            const OnvifHttpAnswer answer =
                AnswerOnvifRequest(head, body, *config, m_port,
                                   static_cast<int>(m_device.Index() % 2), deviceUtc, m_auth);
            m_device.Records().Modify([&](DeviceRecords& r) {
                if (r.onvifCalls.size() < kMaxRecordedCalls) {
                    r.onvifCalls.push_back(answer.operation + (answer.refused ? " refused" : ""));
                }
                r.onvifRefused += answer.refused ? 1 : 0;
            });
            response = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                       HttpReasonPhrase(answer.status) + "\r\n";
            if (!answer.wwwAuthenticate.empty()) {
                response += "WWW-Authenticate: " + answer.wwwAuthenticate + "\r\n";
            }
            if (!answer.body.empty()) {
                response += "Content-Type: application/soap+xml; charset=utf-8\r\n";
            }
            response += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
            response += keepAlive ? "\r\n" : "Connection: close\r\n\r\n";
            response += answer.body;
            c.in.erase(0, head.headLength + head.contentLength);
        }
        // Answers are small: a blocking-free send that the kernel buffer takes whole.
        size_t sent = 0;
        while (sent < response.size()) {
            const ssize_t n =
                ::send(c.fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                Close(id);  // a client that reads nothing: not waited for
                return;
            }
            sent += static_cast<size_t>(n);
        }
        if (!keepAlive) {
            Close(id);
            return;
        }
    }
}

}  // namespace sim
