#pragma once
// The route that makes the link-local range 169.254.0.0/16 reachable
// through the PC's first network adapter, added once when a program starts
// (devices that have not been given an address yet sit in that range).

#include <string>

#include "common/platform/NetworkPlatform.h"

namespace discovery {

enum class Program { Cfgpush, Fwbatch };

// The command line the Windows programs run: "route add 169.254.0.0 mask
// 255.255.0.0 " and the address (Cfgpush writes ADD and MASK in capitals).
std::string LinkLocalRouteCommand(Program program, const std::string& address);

// Builds the command from the first adapter's first address (empty when the
// list cannot be read or is empty), writes it to the diagnostics channel and
// adds the same route through the platform: 169.254.0.0/16 on that adapter's
// interface. Its outcome is not examined (an existing route is fine).
// Returns the command text.
std::string AddLinkLocalRoute(Program program,
                              platform::NetworkPlatform& net = platform::Network());

}  // namespace discovery
