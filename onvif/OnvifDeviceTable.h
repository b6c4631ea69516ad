#pragma once
// The cameras an ONVIF search has heard, one per endpoint reference however
// many interfaces, addresses, probes and announcements found it. Pure: the
// search's thread feeds it what it heard and when; it says what to report.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "onvif/Scopes.h"
#include "onvif/WsDiscovery.h"

namespace onvif {

// Where an answer or announcement was heard.
struct HeardVia {
    std::string interfaceName;
    uint32_t ifIndex = 0;
    uint32_t localAddress = 0;  // the local address it reached (network byte order)
    uint32_t localMask = 0;
    uint32_t sender = 0;   // the datagram's source address
    bool byProbe = false;  // a ProbeMatch to our probe (else a Hello)
};

struct OnvifDevice {
    std::string endpoint;  // the identity
    std::vector<QName> types;
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;
    uint32_t metadataVersion = 0;
    ScopeFacts facts;
    // The device service chosen from the XAddrs: in the subnet of the
    // interface that heard it when there is one.
    std::string deviceService;  // empty when no XAddr has an IPv4 address
    uint32_t address = 0;       // network byte order
    uint16_t httpPort = 0;
    bool addressFromSender = false;  // no usable XAddr: the datagram's source address
    std::string interfaceName;       // the interface the chosen address was heard on
    uint32_t localAddress = 0;
    uint32_t localMask = 0;
    bool onLocalSubnet = false;        // address in (localAddress, localMask): a probe reaches it
    std::vector<std::string> heardOn;  // every interface it was heard on
    bool byProbe = false;
    bool byHello = false;
    uint64_t lastRound = 0;
};

class OnvifDeviceTable {
public:
    static constexpr size_t kMaxInterfacesPerDevice = 16;

    explicit OnvifDeviceTable(size_t maxDevices = 8192, uint32_t missedRoundsForGone = 3)
        : m_maxDevices(maxDevices), m_missedRounds(missedRoundsForGone) {}

    // A camera's ProbeMatch or Hello in round `round`. Returns 1 (new, *report
    // set), 3 (what it says changed, *report set) or 0 (nothing new, or the
    // table is full).
    int OnHeard(const DiscoveryTarget& target, const HeardVia& via, uint64_t round,
                OnvifDevice* report);
    // A Bye: true (and *report the device) when it was listed.
    bool OnBye(const std::string& endpoint, OnvifDevice* report);
    // The devices that round `round` found gone: a probe reaches them and
    // none answered in the last missedRoundsForGone rounds. One heard only
    // by its Hello (a probe cannot reach it) stays until its Bye.
    std::vector<OnvifDevice> CloseRound(uint64_t round);

    size_t Size() const { return m_devices.size(); }
    uint64_t Refused() const { return m_refused; }  // new devices beyond the limit

private:
    size_t m_maxDevices;
    uint32_t m_missedRounds;
    std::map<std::string, OnvifDevice> m_devices;
    uint64_t m_refused = 0;
};

}  // namespace onvif
