#include "discovery/LinkLocalRoute.h"

#include "common/platform/ByteOrder.h"
#include "common/platform/Diagnostics.h"

namespace discovery {

std::string LinkLocalRouteCommand(Program program, const std::string& address) {
    const char* prefix = program == Program::Cfgpush ? "route ADD 169.254.0.0 MASK 255.255.0.0 "
                                                     : "route add 169.254.0.0 mask 255.255.0.0 ";
    return prefix + address;
}

std::string AddLinkLocalRoute(Program program, platform::NetworkPlatform& net) {
    std::vector<platform::AdapterInfo> adapters;
    std::string address;
    const platform::AdapterInfo* first = nullptr;
    if (platform::GetAdapterList(net, adapters) == platform::kNetOk && !adapters.empty()) {
        first = &adapters.front();
        if (!first->addresses.empty()) {
            address = platform::FormatIPv4(first->addresses.front().address);
        }
    }
    const std::string command = LinkLocalRouteCommand(program, address);
    platform::DiagPrintf("%s\n", command.c_str());
    // The command names the adapter by its address; without one it would
    // fail, so nothing is added then.
    if (first != nullptr && !address.empty()) {
        platform::Ipv4Route route;
        route.destination = byteorder::HostToNetwork32(0xA9FE0000);  // 169.254.0.0
        route.prefixLength = 16;
        route.ifIndex = first->index;
        const int result = net.AddRoute(route);
        platform::DiagPrintf("link-local route: %s\n", platform::NetResultText(result));
    }
    return command;
}

}  // namespace discovery
