// The host's own addresses and subnets, and the wait for an added address.
#include <algorithm>

#include "common/platform/ByteOrder.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace fwbatch::adapter {

bool IsPhysicalAdapter(const platform::AdapterInfo& adapter, const AdapterEnv& env) {
    return env.Network().IsPhysicalAdapter(adapter.name);
}

// Read from the interfaces, not by resolving the host name: a name lookup
// misses an address added a moment ago.
bool HostHasAddress(uint32_t address, const AdapterEnv& env) {
    const std::vector<std::string> own = platform::HostIPv4AddressesOf(env.Network());
    return std::find(own.begin(), own.end(), platform::FormatIPv4(address)) != own.end();
}

bool IsOnLocalSubnet(uint32_t address, uint32_t mask, const AdapterEnv& env) {
    const uint32_t host = byteorder::NetworkToHost32(address);
    if (host == 0 || (host >> 24) >= 248) {
        return false;
    }
    std::vector<platform::AdapterInfo> adapters;
    if (platform::GetAdapterList(env.Network(), adapters) != platform::kNetOk) {
        return false;
    }
    for (const auto& adapter : adapters) {
        // A subnet on an adapter that is down reaches nothing.
        if (!adapter.up) {
            continue;
        }
        for (const auto& local : adapter.addresses) {
            if (local.address != 0 && (local.address & local.mask) == (address & mask)) {
                return true;
            }
        }
    }
    return false;
}

bool WaitForHostAddress(uint32_t address, const AdapterEnv& env) {
    for (int test = 0; test < kAddressWaitTests; ++test) {
        if (test > 0) {
            env.Clock().SleepMs(kAddressWaitIntervalMs);
        }
        if (HostHasAddress(address, env)) {
            return true;
        }
    }
    return false;
}

}  // namespace fwbatch::adapter
