#include "sim/OnvifResponder.h"

#include <algorithm>
#include <ctime>

#include "onvif/OnvifNames.h"

namespace sim {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr size_t kRememberedProbes = 4096;
constexpr size_t kMaxPending = 1 << 20;

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace

OnvifResponder::OnvifResponder(std::vector<std::string> interfaces, uint32_t spreadMs,
                               platform::NetworkPlatform& net)
    : m_interfaceNames(std::move(interfaces)),
      m_spreadMs(spreadMs),
      m_net(net),
      m_instanceId(static_cast<uint32_t>(std::time(nullptr))),
      m_random(std::random_device{}()) {}

OnvifResponder::~OnvifResponder() {
    Stop();
}

std::vector<platform::MulticastInterface> OnvifResponder::Interfaces() {
    std::vector<platform::MulticastInterface> result;
    std::vector<platform::AdapterInfo> adapters;
    if (m_net.GetAdapters(adapters) != platform::kNetOk) {
        return result;
    }
    for (const auto& a : adapters) {
        if (!a.up || a.addresses.empty() || a.index == 0 ||
            (!m_interfaceNames.empty() &&
             std::find(m_interfaceNames.begin(), m_interfaceNames.end(), a.name) ==
                 m_interfaceNames.end())) {
            continue;
        }
        result.push_back({a.name, a.index, a.addresses[0].address});
    }
    return result;
}

bool OnvifResponder::Start(std::string* error) {
    if (!platform::SystemParseIPv4(onvif::kDiscoveryGroup, m_group) || !m_wake.Valid()) {
        *error = "cannot make the discovery's group or wake event";
        return false;
    }
    const int err = m_socket.Open(onvif::kDiscoveryPort, true);
    if (err != 0) {
        *error = "cannot open the ONVIF discovery port 3702: error " + std::to_string(err);
        return false;
    }
    for (const auto& where : Interfaces()) {
        if (m_socket.Join(m_group, where)) {
            m_joined.push_back(where);
        }
    }
    m_running = true;
    {
        std::lock_guard<std::mutex> lock(m_devicesLock);
        for (const auto& [index, device] : m_devices) {
            (void)index;
            Announce(device, true);
        }
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void OnvifResponder::Stop() {
    if (!m_running.exchange(false)) {
        return;
    }
    m_stop = true;
    m_wake.Signal();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard<std::mutex> lock(m_devicesLock);
    for (const auto& [index, device] : m_devices) {
        (void)index;
        Announce(device, false);
    }
    m_socket.Close();
}

bool OnvifResponder::OnLink(const OnvifResponderDevice& device, uint32_t index,
                            const std::vector<platform::AdapterInfo>& adapters) const {
    for (const auto& a : adapters) {
        if (a.index != index) {
            continue;
        }
        for (const auto& address : a.addresses) {
            if ((address.address & address.mask) == (device.address & address.mask)) {
                return true;
            }
        }
    }
    return false;
}

void OnvifResponder::Announce(const OnvifResponderDevice& device, bool hello) {
    if ((hello && !device.hello) || (!hello && !device.bye)) {
        return;
    }
    std::vector<platform::AdapterInfo> adapters;
    m_net.GetAdapters(adapters);
    const uint32_t number = ++m_messageNumber;
    const std::string id = onvif::NewMessageId();
    const std::vector<uint8_t> datagram =
        Bytes(hello ? BuildHello(device.target, id, m_instanceId, number)
                    : BuildBye(device.target, id, m_instanceId, number));
    for (int copy = 0; copy < 2; ++copy) {  // repeated, with the same MessageID
        for (const auto& where : m_joined) {
            if (OnLink(device, where.index, adapters)) {
                m_socket.SendTo(m_group, onvif::kDiscoveryPort, where, 1, datagram);
            }
        }
    }
}

void OnvifResponder::Join(size_t index, OnvifResponderDevice device) {
    std::lock_guard<std::mutex> lock(m_devicesLock);
    m_devices[index] = device;
    if (m_running) {
        Announce(device, true);
    }
}

void OnvifResponder::Leave(size_t index) {
    std::lock_guard<std::mutex> lock(m_devicesLock);
    auto it = m_devices.find(index);
    if (it == m_devices.end()) {
        return;
    }
    if (m_running) {
        Announce(it->second, false);
    }
    m_devices.erase(it);
}

void OnvifResponder::Run() {
    std::vector<uint8_t> buffer(65536);
    while (!m_stop.load()) {
        const auto now = SteadyClock::now();
        // Answers that are due.
        while (!m_pending.empty() && m_pending.begin()->first <= now) {
            const Pending p = m_pending.begin()->second;
            m_pending.erase(m_pending.begin());
            std::string text;
            {
                std::lock_guard<std::mutex> lock(m_devicesLock);
                auto it = m_devices.find(p.index);
                if (it == m_devices.end()) {
                    continue;  // left meanwhile
                }
                text = it->second.fault ? BuildProbeFault(p.relatesTo)
                                        : BuildProbeMatch(it->second.target, p.relatesTo);
            }
            if (m_socket.SendToAddress(p.address, p.port, Bytes(text)) == 0) {
                ++m_answers;
            }
        }
        int64_t waitMs = 1000;
        if (!m_pending.empty()) {
            waitMs = std::chrono::ceil<std::chrono::milliseconds>(m_pending.begin()->first - now)
                         .count();
        }
        const auto ready = m_socket.Wait(m_wake, waitMs);
        if (ready.woken) {
            m_wake.Drain();
        }
        if (!ready.readable) {
            continue;
        }
        for (int n = 0; n < 64; ++n) {
            uint32_t arrival = 0;
            uint32_t from = 0;
            uint16_t port = 0;
            const long size =
                m_socket.Receive(buffer.data(), buffer.size(), &arrival, &from, &port);
            if (size < 0) {
                break;
            }
            if (static_cast<size_t>(size) >= buffer.size()) {
                continue;
            }
            const onvif::DiscoveryMessage message = onvif::ParseDiscoveryMessage(std::string_view(
                reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(size)));
            if (message.kind != onvif::DiscoveryMessage::Kind::Probe ||
                message.probeTypesUnresolved) {
                continue;
            }
            ++m_probes;
            // A repeated probe (same MessageID from the same sender) is answered once.
            const std::string key =
                message.messageId + " " + std::to_string(from) + ":" + std::to_string(port);
            if (!m_seen.insert(key).second) {
                continue;
            }
            m_seenOrder.push_back(key);
            if (m_seenOrder.size() > kRememberedProbes) {
                m_seen.erase(m_seenOrder.front());
                m_seenOrder.pop_front();
            }
            // A camera answers the probes that reach its own link.
            std::vector<platform::AdapterInfo> adapters;
            m_net.GetAdapters(adapters);
            std::lock_guard<std::mutex> lock(m_devicesLock);
            for (const auto& [index, device] : m_devices) {
                if (!ProbeMatches(device.target, message.probeTypes) ||
                    m_pending.size() >= kMaxPending || !OnLink(device, arrival, adapters)) {
                    continue;
                }
                const uint32_t spread =
                    m_spreadMs == 0 ? 0 : static_cast<uint32_t>(m_random() % (m_spreadMs + 1));
                const auto due =
                    SteadyClock::now() + std::chrono::milliseconds(device.delayMs + spread);
                m_pending.emplace(due, Pending{due, index, from, port, message.messageId});
            }
        }
    }
}

}  // namespace sim
