#pragma once
// Changes to the network configuration through the kernel's routing netlink
// socket. Used by LinuxNetworkPlatform; each call opens and closes its own
// netlink socket, so calls from different threads do not share state.

#include <cstdint>

#include "common/platform/NetworkPlatform.h"

namespace platform {

// Adds address/prefixLength to the interface ifIndex, with the subnet's
// broadcast address for prefixes up to /30. Returns a NetResult code.
int NetlinkAddIPv4Address(uint32_t ifIndex, uint32_t address, int prefixLength);

// Adds the route to the main table. Returns a NetResult code.
int NetlinkAddIPv4Route(const Ipv4Route& route);

}  // namespace platform
