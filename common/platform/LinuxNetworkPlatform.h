#pragma once
// The network platform on Linux: the adapter list and the network state from
// getifaddrs, addresses and routes through netlink (libnl-route-3), and the
// physical-adapter test from sysfs.

#include <string>

#include "common/platform/NetworkPlatform.h"

namespace platform {

class LinuxNetworkPlatform : public NetworkPlatform {
public:
    // sysfsRoot is where sysfs is mounted; tests point it at a tree of their own.
    explicit LinuxNetworkPlatform(std::string sysfsRoot = "/sys");

    int GetAdapters(std::vector<AdapterInfo>& adapters) override;
    bool IsNetworkAlive() override;
    int AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) override;
    int AddRoute(const Ipv4Route& route) override;
    // An interface with a device behind it: <sysfsRoot>/class/net/NAME/device exists.
    bool IsPhysicalAdapter(const std::string& name) override;
    std::string NeighbourMac(uint32_t address) override;

private:
    std::string m_sysfsRoot;
};

}  // namespace platform
