#pragma once
// The ONVIF search: one thread that sends the two typed WS-Discovery probes
// (dn:NetworkVideoTransmitter and tds:Device, each twice) from every IPv4
// address of every selected interface, hears the unicast ProbeMatches to
// each of those addresses and the Hello and Bye announcements multicast to
// the group, and reports each camera found, changed or gone, one per
// endpoint reference, through a callback on that thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/MulticastSocket.h"
#include "common/platform/NetworkPlatform.h"
#include "common/platform/WakeEvent.h"
#include "onvif/OnvifDeviceTable.h"
#include "onvif/OnvifNames.h"

namespace onvif {

struct OnvifSearchOptions {
    uint32_t probeIntervalMs = 10000;  // a new round of probes; at least 100
    uint32_t missedRoundsForGone = 3;
    uint32_t repeatDelayMs = 150;    // each probe goes out a second time this much later
    uint32_t addressCheckMs = 1000;  // a new local address probes at once, within this
    int hopLimit = 1;
    std::vector<std::string> interfaces;  // empty: every up interface with an IPv4 address
    size_t maxDevices = 8192;
    std::string group = kDiscoveryGroup;
    uint16_t port = kDiscoveryPort;
    int receiveBufferBytes = 4 << 20;  // thousands of answers arrive within half a second
};

// Kinds of report, as the device search's: found, gone, changed.
constexpr int kOnvifFound = 1;
constexpr int kOnvifGone = 2;
constexpr int kOnvifChanged = 3;

class OnvifSearch {
public:
    using ReportFn = std::function<void(int kind, const OnvifDevice& device)>;

    OnvifSearch(ReportFn report, OnvifSearchOptions options,
                platform::NetworkPlatform& net = platform::Network());
    ~OnvifSearch();
    OnvifSearch(const OnvifSearch&) = delete;
    OnvifSearch& operator=(const OnvifSearch&) = delete;

    // Opens the announcement port (when another program holds it without
    // sharing, the probes still run: HearsAnnouncements() then says false)
    // and starts the thread; false with the reason when the group cannot be
    // used.
    bool Start(std::string* error = nullptr);
    // Stops the thread and waits for it: no report follows. Prompt.
    void Stop();

    // Restricts the search to the named interfaces (empty: all), from the
    // next look at the addresses on.
    void SetInterfaces(std::vector<std::string> names);

    bool HearsAnnouncements() const { return m_hearsAnnouncements; }
    uint64_t Rounds() const { return m_rounds.load(); }
    uint64_t ProbesSent() const { return m_probesSent.load(); }
    uint64_t AnswersReceived() const { return m_answers.load(); }   // camera matches and hellos
    uint64_t DatagramsIgnored() const { return m_ignored.load(); }  // faults, junk, non-cameras

private:
    struct Local;
    void Run();
    bool Stopping() const { return m_stop.load(std::memory_order_acquire); }

    ReportFn m_report;
    OnvifSearchOptions m_options;
    platform::NetworkPlatform& m_net;
    uint32_t m_group = 0;

    std::mutex m_interfacesLock;  // guards m_interfaceNames only
    std::vector<std::string> m_interfaceNames;

    platform::MulticastSocket m_listener;  // the group's port: Hello and Bye
    bool m_hearsAnnouncements = false;     // set by Start before the thread runs
    platform::WakeEvent m_wake;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_rounds{0};
    std::atomic<uint64_t> m_probesSent{0};
    std::atomic<uint64_t> m_answers{0};
    std::atomic<uint64_t> m_ignored{0};
    std::thread m_thread;
    std::mutex m_lifecycleLock;
};

}  // namespace onvif
