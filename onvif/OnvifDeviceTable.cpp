#include "onvif/OnvifDeviceTable.h"

#include <algorithm>

namespace onvif {
namespace {

// The address this hearing gives the device.
void ChooseAddress(const DiscoveryTarget& target, const HeardVia& via, OnvifDevice& d) {
    std::vector<XAddr> parsed;
    for (const std::string& text : target.xaddrs) {
        XAddr x;
        if (ParseXAddr(text, x)) {
            parsed.push_back(std::move(x));
        }
    }
    const int index = PreferredXAddr(parsed, via.localAddress, via.localMask);
    if (index >= 0) {
        d.deviceService = parsed[static_cast<size_t>(index)].url;
        d.address = parsed[static_cast<size_t>(index)].address;
        d.httpPort = parsed[static_cast<size_t>(index)].port;
        d.addressFromSender = false;
    } else {
        d.deviceService.clear();
        d.address = via.sender;
        d.httpPort = 80;
        d.addressFromSender = true;
    }
    d.interfaceName = via.interfaceName;
    d.localAddress = via.localAddress;
    d.localMask = via.localMask;
    d.onLocalSubnet = via.localMask != 0 && d.address != 0 &&
                      (d.address & via.localMask) == (via.localAddress & via.localMask);
}

bool SameView(const OnvifDevice& a, const OnvifDevice& b) {
    return a.types == b.types && a.scopes == b.scopes && a.xaddrs == b.xaddrs &&
           a.metadataVersion == b.metadataVersion && a.deviceService == b.deviceService &&
           a.address == b.address && a.httpPort == b.httpPort &&
           a.interfaceName == b.interfaceName && a.localMask == b.localMask &&
           a.onLocalSubnet == b.onLocalSubnet && a.heardOn == b.heardOn && a.byProbe == b.byProbe &&
           a.byHello == b.byHello;
}

}  // namespace

int OnvifDeviceTable::OnHeard(const DiscoveryTarget& target, const HeardVia& via, uint64_t round,
                              OnvifDevice* report) {
    auto it = m_devices.find(target.endpoint);
    const bool known = it != m_devices.end();
    if (!known && m_devices.size() >= m_maxDevices) {
        ++m_refused;
        return 0;
    }
    OnvifDevice next = known ? it->second : OnvifDevice();
    next.endpoint = target.endpoint;
    next.types = target.types;
    next.scopes = target.scopes;
    next.xaddrs = target.xaddrs;
    next.metadataVersion = target.metadataVersion;
    next.facts = ReadScopes(target.scopes);
    OnvifDevice candidate;
    ChooseAddress(target, via, candidate);
    // A new list of addresses decides at once; otherwise keep an address a
    // probe reaches over one it does not, and let the latest hearing on the
    // same interface and local address refresh it.
    const bool xaddrsChanged = known && it->second.xaddrs != target.xaddrs;
    const bool sameHearing = next.interfaceName == candidate.interfaceName &&
                             next.localAddress == candidate.localAddress;
    const bool take = !known || xaddrsChanged || (!next.onLocalSubnet && candidate.onLocalSubnet) ||
                      (sameHearing && (candidate.onLocalSubnet || !next.onLocalSubnet));
    if (take) {
        next.deviceService = candidate.deviceService;
        next.address = candidate.address;
        next.httpPort = candidate.httpPort;
        next.addressFromSender = candidate.addressFromSender;
        next.interfaceName = candidate.interfaceName;
        next.localAddress = candidate.localAddress;
        next.localMask = candidate.localMask;
        next.onLocalSubnet = candidate.onLocalSubnet;
    }
    if (std::find(next.heardOn.begin(), next.heardOn.end(), via.interfaceName) ==
            next.heardOn.end() &&
        next.heardOn.size() < kMaxInterfacesPerDevice) {
        next.heardOn.push_back(via.interfaceName);
    }
    next.byProbe = next.byProbe || via.byProbe;
    next.byHello = next.byHello || !via.byProbe;
    next.lastRound = round;
    if (!known) {
        OnvifDevice& stored = m_devices.emplace(next.endpoint, std::move(next)).first->second;
        if (report != nullptr) {
            *report = stored;
        }
        return 1;
    }
    const bool changed = !SameView(it->second, next);
    it->second = std::move(next);
    if (changed && report != nullptr) {
        *report = it->second;
    }
    return changed ? 3 : 0;
}

bool OnvifDeviceTable::OnBye(const std::string& endpoint, OnvifDevice* report) {
    auto it = m_devices.find(endpoint);
    if (it == m_devices.end()) {
        return false;
    }
    if (report != nullptr) {
        *report = std::move(it->second);
    }
    m_devices.erase(it);
    return true;
}

std::vector<OnvifDevice> OnvifDeviceTable::CloseRound(uint64_t round) {
    std::vector<OnvifDevice> gone;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        const OnvifDevice& d = it->second;
        if (d.onLocalSubnet && d.lastRound + m_missedRounds <= round) {
            gone.push_back(std::move(it->second));
            it = m_devices.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

}  // namespace onvif
