#pragma once
// The network platform on Windows: the adapter list and the network state
// from GetAdaptersAddresses, addresses through AddIPAddress, routes through
// CreateIpForwardEntry2, the neighbour table from GetIpNetTable and the
// physical-adapter test from the network-adapter class key of the registry.

#include <string>

#include "common/platform/NetworkPlatform.h"

namespace platform {

class WinNetworkPlatform : public NetworkPlatform {
public:
    int GetAdapters(std::vector<AdapterInfo>& adapters) override;
    bool IsNetworkAlive() override;
    int AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) override;
    int AddRoute(const Ipv4Route& route) override;
    // The adapter's entry under the network-adapter class key has the
    // physical-adapter bit (0x4) in "Characteristics".
    bool IsPhysicalAdapter(const std::string& name) override;
    std::string NeighbourMac(uint32_t address) override;
};

// The NetResult code of a Windows system error number as the IP Helper
// functions return it.
int NetResultFromWindowsError(unsigned long error);

}  // namespace platform
