#pragma once
// The searching side: one thread that multicasts a probe on each selected
// interface every round, receives the devices' answers, and reports new,
// changed and gone devices through a callback on that thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/NetworkPlatform.h"
#include "lanscout/Memberships.h"
#include "lanscout/SearchProtocol.h"

namespace lanscout {

struct SearchOptions {
    uint32_t probeIntervalMs = 1000;  // one round; at least 10
    uint32_t missedRoundsForGone = 3;
    int hopLimit = 1;         // 1..255
    int answerSpreadMs = -1;  // asked of the responders; -1: a quarter round, at most 500
    std::vector<std::string> interfaces;  // empty: every up IPv4 interface
    std::string group = kSearchGroup;
    uint16_t probePort = kProbePort;
    uint16_t answerPort = kAnswerPort;
    size_t maxDevices = 4096;
};

class Search {
public:
    // mac, kind (1 found, 2 gone, 3 changed), xml; texts valid during the call only.
    using ReportFn = std::function<void(const char* mac, int kind, const char* xml)>;

    Search(ReportFn report, SearchOptions options,
           platform::NetworkPlatform& net = platform::Network());
    ~Search();
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    // Opens the socket and starts the thread. Returns LANSCOUT_OK,
    // LANSCOUT_ERR_ALREADY_STARTED, LANSCOUT_ERR_BAD_ARGUMENT (group) or
    // LANSCOUT_ERR_SOCKET.
    int Start();

    // Stops the thread and waits for it, so no report follows. From the
    // report callback itself: only asks the thread to stop (no report
    // follows either) and returns LANSCOUT_ERR_IN_CALLBACK; the destructor
    // or a later Stop from another thread waits for it.
    int Stop();

    // True on the search's own thread (inside a report).
    bool OnSearchThread() const;

    // Restricts the probes to the named interfaces from the next round on.
    void SetInterfaces(std::vector<std::string> names);

    // Rounds started so far (for tests and diagnostics). When it reads r,
    // round r's probes are out and the gone notices of round r - 1 are made.
    uint64_t Rounds() const { return m_rounds.load(); }
    // Valid answers received so far, reported or not.
    uint64_t AnswersReceived() const { return m_answers.load(); }
    // Datagrams on the answer port that were not valid answers.
    uint64_t DatagramsDropped() const { return m_dropped.load(); }

private:
    void Run();
    void SendProbes(const Memberships& memberships, uint64_t round, uint16_t spreadMs);
    void Report(const std::string& mac, int kind, const std::string& xml);
    bool Stopping() const { return m_stop.load(std::memory_order_acquire); }

    ReportFn m_report;
    SearchOptions m_options;
    platform::NetworkPlatform& m_net;
    uint32_t m_group = 0;
    uint32_t m_searchId = 0;

    std::mutex m_interfacesLock;  // guards m_interfaceNames only
    std::vector<std::string> m_interfaceNames;

    MulticastSocket m_socket;  // opened by Start, used by the thread only
    WakeEvent m_wake;

    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_rounds{0};
    std::atomic<uint64_t> m_answers{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<std::thread::id> m_threadId{};
    std::thread m_thread;
    std::mutex m_lifecycleLock;  // Start and Stop from different threads
};

}  // namespace lanscout
