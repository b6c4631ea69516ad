#include "common/platform/HostAddresses.h"

#include "common/platform/NetworkPlatform.h"

namespace platform {

std::vector<std::string> HostIPv4Addresses() {
    return HostIPv4AddressesOf(Network());
}

}  // namespace platform
