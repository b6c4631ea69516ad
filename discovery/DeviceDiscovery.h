#pragma once
// Discovery as a program runs it, independent of any window: register the
// search callback, wait for the network on a thread of its own and start the
// automatic search then, add the link-local route; and at the end stop the
// waiting thread before the search library quits, so the search can never
// start after it has been stopped.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/DeviceSources.h"
#include "discovery/LinkLocalRoute.h"
#include "discovery/NetworkWatch.h"
#include "lanscout/Lanscout.h"
#include "onvif/OnvifSearch.h"

namespace discovery {

struct DiscoveryOptions {
    Program program = Program::Cfgpush;
    bool addLinkLocalRoute = true;        // the programs do; the command line does not
    std::vector<std::string> interfaces;  // empty: every interface
    uint32_t networkPollMs = NetworkWatch::kPollMs;
    // The programs wait until some interface other than loopback runs; a
    // search restricted to named interfaces may start at once.
    bool waitForNetwork = true;
    platform::NetworkPlatform* net = nullptr;  // null: the process's platform
    // The ONVIF search beside our own: cameras that answer the open
    // WS-Discovery probes reach the callback like any device. Off unless a
    // program asks (camprep discover and both windows do).
    bool ourSearch = true;
    bool onvif = false;
    // The data port of a device only ONVIF found (its answer does not tell it).
    int32_t dataPort = kDefaultDataPort;
    onvif::OnvifSearchOptions onvifOptions;  // interfaces: those above
};

// The argument of the automatic search: the probe interval in seconds
// (Fwbatch 5, Cfgpush 1).
int SearchInterval(Program program);
// The multicast hop limit both programs give the search library.
constexpr int kSearchHopLimit = 32;

class DeviceDiscovery {
public:
    explicit DeviceDiscovery(DiscoveryOptions options);
    ~DeviceDiscovery() { Stop(); }
    DeviceDiscovery(const DeviceDiscovery&) = delete;
    DeviceDiscovery& operator=(const DeviceDiscovery&) = delete;

    // Registers the callback (LANSCOUT_Initial), starts the network watch and
    // adds the link-local route, in that order. False when the search library
    // refused the registration.
    //
    // With the ONVIF search on, the callback gets both searches' devices,
    // one report stream, one device each however many searches, interfaces
    // and addresses found it: (key, kind, answer) with kinds 1 found, 2 gone,
    // 3 changed. A device only our search found comes exactly as the search
    // library gives it (key = its MAC text); any other comes under its key
    // (the endpoint reference when ONVIF found it first) with an answer that
    // ParseSearchAnswer reads into a record (its MAC, when known, in the
    // record, never the key). Reports come one at a time; the callback must
    // not call into this object.
    bool Start(LANSCOUT_Callback callback, void* context);
    // Ends the network watch, then quits the search library: no callback
    // arrives after it returns. Prompt even while the network is down.
    void Stop();

    // Restricts the search to the named interfaces (empty: every one), from
    // its next round. False (nothing changed) for a name that cannot be an
    // interface name.
    bool SetInterfaces(std::vector<std::string> interfaces);
    const std::vector<std::string>& Interfaces() const { return m_options.interfaces; }
    // The data port of the devices only ONVIF finds, in every report from
    // here on (the operator's setting).
    void SetDataPort(int32_t dataPort);
    int32_t DataPort() const { return m_options.dataPort; }

    bool SearchStarted() const { return m_watch.Started(); }

    // What the device with this key (SearchReport::key) was found by and
    // what its record has no field for; false when no such device is listed.
    // Any thread, but not while holding a lock the callback takes (reports
    // are delivered under the lock this takes); kept after Stop until the
    // next Start.
    bool SideRecord(const std::string& key, DeviceSideRecord& out) const;
    // The device keys listed now, in no particular order.
    std::vector<std::string> Keys() const;
    // False when the ONVIF search could not start (its reason in the text).
    std::string OnvifError() const;
    const std::string& RouteCommand() const { return m_routeCommand; }

private:
    bool ApplyInterfaces();
    static void OurReport(const char* mac, int kind, const char* xml, void* context);
    void OnvifReport(int kind, const onvif::OnvifDevice& device);
    void Hand(const std::optional<MergedReport>& report);

    DiscoveryOptions m_options;
    LANSCOUT_Callback m_callback = nullptr;
    void* m_context = nullptr;
    mutable std::mutex m_mergeLock;  // the merge and the deliveries, one at a time
    SourceMerge m_merge;
    std::unique_ptr<onvif::OnvifSearch> m_onvif;
    std::string m_onvifError;
    NetworkWatch m_watch;
    bool m_running = false;
    std::string m_routeCommand;
};

}  // namespace discovery
