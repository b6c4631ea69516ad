#include "ScriptedDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace testpeer {

std::vector<uint8_t> Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

uint32_t GetLe32(const std::vector<uint8_t>& b, size_t o) {
    if (o + 4 > b.size()) return 0;
    return static_cast<uint32_t>(b[o]) | static_cast<uint32_t>(b[o + 1]) << 8 | static_cast<uint32_t>(b[o + 2]) << 16 |
           static_cast<uint32_t>(b[o + 3]) << 24;
}

static void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

bool PeerConnection::SendRaw(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PeerConnection::SendFrame(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> frame = {'1', '1', '1', '1'};
    Append(frame, Le32(static_cast<uint32_t>(payload.size())));
    Append(frame, payload);
    return SendRaw(frame);
}

bool PeerConnection::SendKeepAlive() { return SendFrame({}); }

static std::vector<uint8_t> Command(uint32_t id, const std::vector<uint8_t>& body, uint32_t aux) {
    std::vector<uint8_t> m;
    Append(m, Le32(id));
    Append(m, Le32(aux));
    Append(m, Le32(0));
    Append(m, Le32(static_cast<uint32_t>(body.size())));
    Append(m, body);
    return m;
}

bool PeerConnection::SendMessage(uint32_t id, const std::vector<uint8_t>& body, uint32_t aux) {
    return SendFrame(Command(id, body, aux));
}

bool PeerConnection::SendFragmented(uint32_t id, const std::vector<uint8_t>& body, uint32_t fragmentSize,
                                    uint32_t slot, uint32_t messageId) {
    const std::vector<uint8_t> message = Command(id, body, 0);
    const auto total = static_cast<uint32_t>(message.size());
    const uint32_t count = (total + fragmentSize - 1) / fragmentSize;
    for (uint32_t n = 1; n <= count; ++n) {
        const uint32_t offset = (n - 1) * fragmentSize;
        const uint32_t length = std::min(fragmentSize, total - offset);
        std::vector<uint8_t> frame = {'1', '1', '1', '1'};
        Append(frame, Le32(0xFFFFFFFFu));
        for (uint32_t v : {messageId, count, total, n, length, slot}) Append(frame, Le32(v));
        frame.insert(frame.end(), message.begin() + offset, message.begin() + offset + length);
        if (!SendRaw(frame)) return false;
    }
    return true;
}

bool PeerConnection::ReadExact(uint8_t* buffer, size_t length, int timeoutMs) {
    size_t done = 0;
    while (done < length) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        const ssize_t n = ::recv(m_fd, buffer + done, length - done, 0);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PeerConnection::ReadMessage(Message& message, int timeoutMs) {
    for (;;) {
        uint8_t header[8];
        if (!ReadExact(header, 8, timeoutMs)) return false;
        if (std::memcmp(header, "1111", 4) != 0) return false;
        const uint32_t length = static_cast<uint32_t>(header[4]) | static_cast<uint32_t>(header[5]) << 8 |
                                static_cast<uint32_t>(header[6]) << 16 | static_cast<uint32_t>(header[7]) << 24;
        if (length == 0) continue;  // keep-alive
        if (length > (64u << 20)) return false;
        message.raw.assign(length, 0);
        if (!ReadExact(message.raw.data(), length, timeoutMs)) return false;
        message.id = GetLe32(message.raw, 0);
        message.aux = GetLe32(message.raw, 4);
        message.body.assign(message.raw.begin() + std::min<size_t>(16, length), message.raw.end());
        return true;
    }
}

void PeerConnection::Close() {
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_fd = -1;
    }
}

ScriptedDevice::ScriptedDevice() {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(m_listenFd, 4);
    socklen_t len = sizeof a;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
}

ScriptedDevice::~ScriptedDevice() {
    Join();
    if (m_listenFd >= 0) ::close(m_listenFd);
}

void ScriptedDevice::Start(const DeviceGreeting* greeting, Script script) {
    const bool sendGreeting = greeting != nullptr;
    DeviceGreeting copy = sendGreeting ? *greeting : DeviceGreeting{};
    m_thread = std::thread([this, sendGreeting, copy, script = std::move(script)] {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        PeerConnection conn(fd);
        if (sendGreeting) {
            conn.SendRaw(std::vector<uint8_t>(copy.bytes.begin(), copy.bytes.end()));
        }
        script(conn);
        conn.Close();
    });
}

void ScriptedDevice::Join() {
    if (m_thread.joinable()) m_thread.join();
}

DeviceGreeting MakeGreeting(uint32_t version, uint8_t digestMode, uint32_t sessionNumber, bool encrypted,
                            uint32_t transformMode, uint32_t transformKey) {
    DeviceGreeting g;
    g.SetWord(1, 0x11111111);
    g.SetWord(2, 0x22);
    g.SetWord(3, version);
    g.SetWord(4, 0x44444444);
    g.SetWord(6, transformMode);
    g.SetWord(7, transformKey);
    g.bytes[44] = digestMode;
    g.SetSessionNumber(sessionNumber);
    g.SetWord(13, encrypted ? 1 : 0);
    return g;
}

}  // namespace testpeer
