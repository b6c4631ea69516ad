#pragma once
// The answering side of the search, for simulated devices and tests: one
// thread that listens for probes on the selected interfaces and answers each
// probe once per identity (MAC text and answer text), after the random delay
// the probe allows. Identities join and leave at any time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/NetworkPlatform.h"
#include "lanscout/Memberships.h"
#include "lanscout/SearchProtocol.h"

namespace lanscout {

struct ResponderOptions {
    std::vector<std::string> interfaces;  // empty: every up IPv4 interface
    uint32_t rescanMs = 1000;             // how often new interfaces are looked for
    std::string group = kSearchGroup;
    uint16_t probePort = kProbePort;
    uint16_t answerPort = kAnswerPort;
    size_t maxIdentities = 4096;
};

class Responder {
public:
    explicit Responder(ResponderOptions options = {},
                       platform::NetworkPlatform& net = platform::Network());
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    // Opens the probe port, joins the group on the interfaces up now (so a
    // probe sent after Start returns is heard) and starts the thread. Returns LANSCOUT_OK,
    // LANSCOUT_ERR_ALREADY_STARTED, LANSCOUT_ERR_BAD_ARGUMENT (group) or
    // LANSCOUT_ERR_SOCKET.
    int Start();
    // Stops answering and waits for the thread; prompt.
    void Stop();

    // Answers for mac with xml from the next probe on; a known mac gets its
    // new text. Returns LANSCOUT_OK, LANSCOUT_ERR_BAD_ARGUMENT (MAC or text
    // not valid for the protocol) or LANSCOUT_ERR_FULL.
    int Join(const std::string& mac, const std::string& xml);
    // Stops answering for mac, also for probes already received. False when unknown.
    bool Leave(const std::string& mac);

    uint64_t ProbesReceived() const { return m_probesReceived.load(); }
    uint64_t AnswersSent() const { return m_answersSent.load(); }

private:
    struct PendingAnswer {
        std::string mac;
        uint32_t ifIndex = 0;
        uint32_t searchId = 0;
        uint32_t round = 0;
        int hopLimit = 1;
        int attempts = 0;
    };

    void Run();
    void OnProbe(const Probe& probe, uint32_t ifIndex);
    void SendDue();
    bool Stopping() const { return m_stop.load(std::memory_order_acquire); }

    ResponderOptions m_options;
    platform::NetworkPlatform& m_net;
    uint32_t m_group = 0;

    std::mutex m_identitiesLock;  // guards m_identities only; never held while sending
    std::map<std::string, std::string> m_identities;

    // Used by the thread only (the socket is opened by Start before the thread runs).
    MulticastSocket m_socket;
    std::unique_ptr<Memberships> m_memberships;
    std::multimap<std::chrono::steady_clock::time_point, PendingAnswer> m_pending;
    std::set<std::pair<std::string, uint32_t>> m_pendingKeys;  // (mac, interface) waiting
    std::mt19937 m_random;

    WakeEvent m_wake;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_probesReceived{0};
    std::atomic<uint64_t> m_answersSent{0};
    std::thread m_thread;
    std::mutex m_lifecycleLock;
};

}  // namespace lanscout
