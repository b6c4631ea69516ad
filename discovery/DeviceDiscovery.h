#pragma once
// Discovery as a program runs it, independent of any window: register the
// search callback, wait for the network on a thread of its own and start the
// automatic search then, add the link-local route; and at the end stop the
// waiting thread before the search library quits, so the search can never
// start after it has been stopped.

#include <string>
#include <vector>

#include "discovery/LinkLocalRoute.h"
#include "discovery/NetworkWatch.h"
#include "lanscout/Lanscout.h"

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
    bool Start(LANSCOUT_Callback callback, void* context);
    // Ends the network watch, then quits the search library: no callback
    // arrives after it returns. Prompt even while the network is down.
    void Stop();

    // Restricts the search to the named interfaces (empty: every one), from
    // its next round. False (nothing changed) for a name that cannot be an
    // interface name.
    bool SetInterfaces(std::vector<std::string> interfaces);
    const std::vector<std::string>& Interfaces() const { return m_options.interfaces; }

    bool SearchStarted() const { return m_watch.Started(); }
    const std::string& RouteCommand() const { return m_routeCommand; }

private:
    bool ApplyInterfaces();

    DiscoveryOptions m_options;
    NetworkWatch m_watch;
    bool m_running = false;
    std::string m_routeCommand;
};

}  // namespace discovery
