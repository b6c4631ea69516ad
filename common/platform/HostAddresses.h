#pragma once
// The host's own IPv4 addresses, as the connection procedure and the
// address checks need them. The Windows programs resolve the host name;
// on Linux that gives the loopback alias 127.0.1.1, so the addresses of
// the interfaces are taken instead, in interface order, loopback left out.

#include <string>
#include <vector>

namespace platform {

// Dotted IPv4 texts of every address on an interface that is up, in the
// kernel's interface order, loopback interfaces left out. Empty on failure.
std::vector<std::string> HostIPv4Addresses();

}  // namespace platform
