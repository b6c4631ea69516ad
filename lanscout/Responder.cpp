#include "lanscout/Responder.h"

#include <algorithm>

#include "common/platform/Diagnostics.h"
#include "common/platform/ThreadStart.h"
#include "lanscout/Lanscout.h"

namespace lanscout {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A full send buffer is retried a little later, a bounded number of times.
constexpr auto kRetryDelay = std::chrono::milliseconds(2);
constexpr int kMaxSendAttempts = 50;

}  // namespace

Responder::Responder(ResponderOptions options, platform::NetworkPlatform& net)
    : m_options(std::move(options)), m_net(net), m_random(std::random_device{}()) {
    m_options.rescanMs = std::max<uint32_t>(m_options.rescanMs, 10);
}

Responder::~Responder() {
    Stop();
}

int Responder::Start() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    if (m_thread.joinable()) {
        return LANSCOUT_ERR_ALREADY_STARTED;
    }
    if (!platform::SystemParseIPv4(m_options.group.c_str(), m_group) ||
        !platform::IsMulticastIPv4(m_group)) {
        return LANSCOUT_ERR_BAD_ARGUMENT;
    }
    if (!m_wake.Valid()) {
        return LANSCOUT_ERR_SOCKET;
    }
    const int err = m_socket.Open(m_options.probePort, true);
    if (err != 0) {
        platform::DiagPrintf("lanscout: responder cannot open the probe port %u: %d\n",
                             static_cast<unsigned>(m_options.probePort), err);
        return LANSCOUT_ERR_SOCKET;
    }
    m_memberships = std::make_unique<Memberships>(m_socket, m_group);
    m_memberships->Update(SelectInterfaces(m_net, m_options.interfaces));
    m_stop.store(false);
    m_wake.Drain();
    m_pending.clear();
    m_pendingKeys.clear();
    if (!platform::StartThread(m_thread, [this] { Run(); })) {
        return LANSCOUT_ERR_THREAD;
    }
    return LANSCOUT_OK;
}

void Responder::Stop() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    m_stop.store(true, std::memory_order_release);
    m_wake.Signal();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_socket.Close();
}

int Responder::Join(const std::string& mac, const std::string& xml) {
    if (!IsValidMacText(mac) || !IsValidAnswerText(xml)) {
        return LANSCOUT_ERR_BAD_ARGUMENT;
    }
    std::lock_guard<std::mutex> lock(m_identitiesLock);
    auto it = m_identities.find(mac);
    if (it != m_identities.end()) {
        it->second = xml;
        return LANSCOUT_OK;
    }
    if (m_identities.size() >= m_options.maxIdentities) {
        return LANSCOUT_ERR_FULL;
    }
    m_identities.emplace(mac, xml);
    return LANSCOUT_OK;
}

bool Responder::Leave(const std::string& mac) {
    std::lock_guard<std::mutex> lock(m_identitiesLock);
    return m_identities.erase(mac) != 0;
}

void Responder::OnProbe(const Probe& probe, uint32_t ifIndex) {
    m_probesReceived.fetch_add(1);
    std::vector<std::string> macs;
    {
        std::lock_guard<std::mutex> lock(m_identitiesLock);
        macs.reserve(m_identities.size());
        for (const auto& identity : m_identities) {
            macs.push_back(identity.first);
        }
    }
    const uint16_t spread = std::min(probe.answerSpreadMs, kMaxAnswerSpreadMs);
    std::uniform_int_distribution<int> delayMs(0, spread);
    const auto now = SteadyClock::now();
    for (auto& mac : macs) {
        // One answer per identity and interface is enough, however many
        // searchers probe at once.
        if (!m_pendingKeys.emplace(mac, ifIndex).second) {
            continue;
        }
        PendingAnswer pending;
        pending.mac = std::move(mac);
        pending.ifIndex = ifIndex;
        pending.searchId = probe.searchId;
        pending.round = probe.round;
        pending.hopLimit = probe.hopLimit == 0 ? 1 : probe.hopLimit;
        m_pending.emplace(now + std::chrono::milliseconds(delayMs(m_random)), std::move(pending));
    }
}

void Responder::SendDue() {
    const auto now = SteadyClock::now();
    while (!m_pending.empty() && m_pending.begin()->first <= now && !Stopping()) {
        auto node = m_pending.extract(m_pending.begin());
        PendingAnswer& pending = node.mapped();
        const SearchInterface* via = m_memberships->Find(pending.ifIndex);
        Answer answer;
        {
            std::lock_guard<std::mutex> lock(m_identitiesLock);
            auto it = m_identities.find(pending.mac);
            if (it != m_identities.end()) {
                answer.xml = it->second;
            }
        }
        if (via == nullptr || answer.xml.empty()) {
            // The interface went away or the identity left meanwhile.
            m_pendingKeys.erase({pending.mac, pending.ifIndex});
            continue;
        }
        answer.searchId = pending.searchId;
        answer.round = pending.round;
        answer.mac = pending.mac;
        std::vector<uint8_t> datagram;
        if (!EncodeAnswer(answer, datagram)) {
            m_pendingKeys.erase({pending.mac, pending.ifIndex});
            continue;
        }
        const int err =
            m_socket.SendTo(m_group, m_options.answerPort, *via, pending.hopLimit, datagram);
        if (platform::MulticastSocket::IsBufferFull(err) && ++pending.attempts < kMaxSendAttempts) {
            node.key() = now + kRetryDelay;
            m_pending.insert(std::move(node));
            return;  // the buffer is full: the rest waits as well
        }
        m_pendingKeys.erase({pending.mac, pending.ifIndex});
        if (err == 0) {
            m_answersSent.fetch_add(1);
        } else {
            platform::DiagPrintf("lanscout: answer on %s failed: %d\n", via->name.c_str(), err);
        }
    }
}

void Responder::Run() {
    const auto rescan = std::chrono::milliseconds(m_options.rescanMs);
    auto nextRescan = SteadyClock::now() + rescan;  // Start made the first scan
    std::vector<uint8_t> buffer(kMaxDatagram + 1);

    while (!Stopping()) {
        auto now = SteadyClock::now();
        if (now >= nextRescan) {
            m_memberships->Update(SelectInterfaces(m_net, m_options.interfaces));
            nextRescan = now + rescan;
        }
        SendDue();
        now = SteadyClock::now();
        auto wakeAt = nextRescan;
        if (!m_pending.empty()) {
            wakeAt = std::min(wakeAt, m_pending.begin()->first);
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
        const platform::MulticastSocket::WaitResult ready = m_socket.Wait(m_wake, waitMs);
        if (ready.woken) {
            m_wake.Drain();
        }
        if (!ready.readable) {
            continue;
        }
        for (int i = 0; i < 64 && !Stopping(); ++i) {
            uint32_t ifIndex = 0;
            const long size = m_socket.Receive(buffer.data(), buffer.size(), &ifIndex);
            if (size < 0) {
                break;
            }
            Probe probe;
            if (static_cast<size_t>(size) > kMaxDatagram ||
                DecodeProbe(buffer.data(), static_cast<size_t>(size), probe) != DecodeResult::kOk ||
                m_memberships->Find(ifIndex) == nullptr) {
                continue;
            }
            OnProbe(probe, ifIndex);
        }
    }
    m_memberships->LeaveAll();
}

}  // namespace lanscout
