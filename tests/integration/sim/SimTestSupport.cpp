#include "SimTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "common/link/SWL_Public.h"
#include "common/link/SWL_TCPLink.h"

namespace simtest {

std::vector<sim::DeviceConfig> QuickFleet(size_t n,
                                          const std::function<void(sim::DeviceConfig&)>& change) {
    std::vector<sim::DeviceConfig> devices;
    for (size_t i = 0; i < n; ++i) {
        sim::DeviceConfig config = sim::DefaultDevice(i);
        config.identity.dataPort = 0;
        config.behaviour.pieceDelayMs = 0;
        config.behaviour.writeImageMs = 0;
        if (change)
            change(config);
        devices.push_back(std::move(config));
    }
    return devices;
}

std::unique_ptr<sim::Simulator> StartSimulator(std::vector<sim::DeviceConfig> devices,
                                               sim::SimulatorOptions options) {
    auto simulator = std::make_unique<sim::Simulator>(std::move(devices), std::move(options));
    std::string error;
    EXPECT_TRUE(simulator->Start(&error)) << error;
    return simulator;
}

SessionPtr OpenSession(const sim::Simulator& simulator, size_t index, int& error,
                       const SessionOptions& options) {
    error = -1;
    int sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        return nullptr;
    SWL_ADDR a;
    SWL_MakeAddr(simulator.Address(index).c_str(), simulator.DataPort(index), a);
    if (SWL_Connect(sock, a, 5000) != 0) {
        SWL_CloseSocket(sock);
        return nullptr;
    }
    TcpLinkPtr link(CTcpLink::Create(sock));
    uint8_t greeting[64];
    if (!link || link->RecvExact(greeting, sizeof greeting, 5000) != 0)
        return nullptr;
    return SessionPtr(CreateNetDevice(link, greeting, nullptr, nullptr, error, options));
}

SessionPtr LoggedInSession(const sim::Simulator& simulator, size_t index, const char* user,
                           const char* password, const SessionOptions& options) {
    int error = 0;
    SessionPtr session = OpenSession(simulator, index, error, options);
    if (!session)
        return nullptr;
    NET_DEVICE_INFO info;
    if (session->Login(user, password, info) != 0 || session->GetStatus() != 0)
        return nullptr;
    return session;
}

UpgradeRun RunUpgrade(CNetDVSDevice& session, int kind, const std::vector<uint8_t>& payload,
                      uint32_t limitMs) {
    UpgradeRun run;
    const auto length = static_cast<uint32_t>(payload.size());
    const uint32_t piece = length / 100;
    const uint32_t first = piece + length % 100;
    std::vector<uint8_t> block;
    uint32_t offset = 0;
    uint32_t sequence = 1;
    auto sendNext = [&](uint32_t size) {
        block = Le32(sequence);
        block.insert(block.end(), payload.begin() + offset, payload.begin() + offset + size);
        session.SendUpgradeData(block.data(), static_cast<uint32_t>(block.size()), kind);
        offset += size;
        ++sequence;
        ++run.piecesSent;
    };
    sendNext(first);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        if (session.ReachedFinalPhase())
            run.reached98 = true;
        int percent = 0;
        int extra = 0;
        const int r = session.PollUpgradeProgress(percent, length, extra);
        if (r == 0) {
            run.lastPercent = percent;
            if (percent == 98)
                run.reached98 = true;
            if (percent == 99) {
                run.status = 0;
                return run;
            }
            if (sequence <= 100)
                sendNext(piece);
        } else if (r == 4 || r == 8) {
            run.status = r;
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return run;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

std::vector<uint8_t> Le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

uint32_t GetLe32(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size())
        return 0;
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

RawClient::~RawClient() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawClient::Connect(const std::string& address, uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool RawClient::ReadExact(uint8_t* buffer, size_t length, int timeoutMs) {
    size_t done = 0;
    while (done < length) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::recv(m_fd, buffer + done, length - done, 0);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool RawClient::ReadGreeting(std::vector<uint8_t>& greeting, int timeoutMs) {
    greeting.assign(64, 0);
    return ReadExact(greeting.data(), greeting.size(), timeoutMs);
}

bool RawClient::ReadFrame(Frame& frame, int timeoutMs) {
    uint8_t header[8];
    if (!ReadExact(header, sizeof header, timeoutMs))
        return false;
    std::memcpy(frame.magic, header, 4);
    frame.length = GetLe32(std::vector<uint8_t>(header, header + 8), 4);
    if (frame.length == 0) {
        frame.bytes.clear();
        return true;
    }
    if (frame.length == 0xFFFFFFFFu) {
        std::vector<uint8_t> fragment(24);
        if (!ReadExact(fragment.data(), fragment.size(), timeoutMs))
            return false;
        const uint32_t size = GetLe32(fragment, 16);
        fragment.resize(24 + size);
        if (size > 0 && !ReadExact(fragment.data() + 24, size, timeoutMs))
            return false;
        frame.bytes = std::move(fragment);
        return true;
    }
    frame.bytes.assign(frame.length, 0);
    return ReadExact(frame.bytes.data(), frame.length, timeoutMs);
}

bool RawClient::ReadMessage(uint32_t& id, std::vector<uint8_t>& body, int timeoutMs) {
    std::vector<uint8_t> message;
    for (;;) {
        Frame frame;
        if (!ReadFrame(frame, timeoutMs))
            return false;
        if (frame.length == 0)
            continue;
        if (frame.length == 0xFFFFFFFFu) {
            message.insert(message.end(), frame.bytes.begin() + 24, frame.bytes.end());
            if (GetLe32(frame.bytes, 12) != GetLe32(frame.bytes, 4))
                continue;  // more fragments follow
        } else {
            message = std::move(frame.bytes);
        }
        if (message.size() < 16)
            return false;
        id = GetLe32(message, 0);
        body.assign(message.begin() + 16, message.end());
        return true;
    }
}

bool RawClient::Send(const std::vector<uint8_t>& bytes) {
    return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

bool RawClient::SendMessage(uint32_t id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> frame = {'1', '1', '1', '1'};
    const std::vector<uint8_t> length = Le32(static_cast<uint32_t>(16 + body.size()));
    frame.insert(frame.end(), length.begin(), length.end());
    for (uint32_t word : {id, 0u, 0u, static_cast<uint32_t>(body.size())}) {
        const std::vector<uint8_t> w = Le32(word);
        frame.insert(frame.end(), w.begin(), w.end());
    }
    frame.insert(frame.end(), body.begin(), body.end());
    return Send(frame);
}

bool RawClient::ClosedByPeer(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n == 0)
            return true;
        if (n < 0)
            return errno == ECONNRESET;
    }
    return false;
}

}  // namespace simtest
