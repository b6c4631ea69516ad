#include "common/platform/LinuxNetworkPlatform.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/platform/Diagnostics.h"
#include "common/platform/NetlinkConfig.h"

namespace platform {
namespace {

struct IfAddrsFree {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfAddrsList = std::unique_ptr<ifaddrs, IfAddrsFree>;

// The interface an address entry belongs to: an address with a label
// ("eth0:1") belongs to the interface before the colon.
std::string InterfaceOfLabel(const char* label) {
    std::string name = label != nullptr ? label : "";
    const size_t colon = name.find(':');
    if (colon != std::string::npos) {
        name.resize(colon);
    }
    return name;
}

void ApplyFlags(AdapterInfo& adapter, unsigned int flags) {
    adapter.up = (flags & IFF_UP) != 0;
    adapter.running = (flags & IFF_RUNNING) != 0;
    adapter.loopback = (flags & IFF_LOOPBACK) != 0;
}

AdapterInfo* FindByName(std::vector<AdapterInfo>& adapters, const std::string& name) {
    for (auto& adapter : adapters) {
        if (adapter.name == name) {
            return &adapter;
        }
    }
    return nullptr;
}

}  // namespace

bool IsValidInterfaceName(const std::string& name) {
    if (name.empty() || name.size() >= IFNAMSIZ || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        if (c == '/' || c == ':' || static_cast<unsigned char>(c) <= ' ' ||
            static_cast<unsigned char>(c) >= 0x7F) {
            return false;
        }
    }
    return true;
}

const NetworkRightsTexts& NetworkRights() {
    static const NetworkRightsTexts texts{
        "the right to change addresses (CAP_NET_ADMIN) and to capture packets (CAP_NET_RAW)",
        "run as root or with CAP_NET_ADMIN", "needs root or CAP_NET_RAW"};
    return texts;
}

NetworkPlatform& SystemNetwork() {
    static LinuxNetworkPlatform system;
    return system;
}

LinuxNetworkPlatform::LinuxNetworkPlatform(std::string sysfsRoot)
    : m_sysfsRoot(std::move(sysfsRoot)) {}

int LinuxNetworkPlatform::GetAdapters(std::vector<AdapterInfo>& adapters) {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        const int err = errno;
        DiagPrintf("getifaddrs failed: %s\n", std::strerror(err));
        return err == ENOMEM ? kNetOutOfMemory : kNetSystemError;
    }
    IfAddrsList list(raw);
    std::vector<AdapterInfo> result;
    // The link entries come first, in the kernel's interface order; they
    // carry the index and the hardware address.
    for (ifaddrs* it = list.get(); it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET ||
            it->ifa_name == nullptr) {
            continue;
        }
        sockaddr_ll link{};
        std::memcpy(&link, it->ifa_addr, sizeof link);
        AdapterInfo adapter;
        adapter.name = it->ifa_name;
        adapter.index = static_cast<uint32_t>(link.sll_ifindex);
        if (link.sll_halen == adapter.hardwareAddress.size()) {
            std::memcpy(adapter.hardwareAddress.data(), link.sll_addr,
                        adapter.hardwareAddress.size());
        }
        ApplyFlags(adapter, it->ifa_flags);
        if (FindByName(result, adapter.name) == nullptr) {
            result.push_back(std::move(adapter));
        }
    }
    for (ifaddrs* it = list.get(); it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const std::string name = InterfaceOfLabel(it->ifa_name);
        AdapterInfo* adapter = FindByName(result, name);
        if (adapter == nullptr) {
            // No link entry (packet sockets unavailable): take the address entry's view.
            AdapterInfo added;
            added.name = name;
            added.index = if_nametoindex(name.c_str());
            ApplyFlags(added, it->ifa_flags);
            result.push_back(std::move(added));
            adapter = &result.back();
        }
        sockaddr_in in{};
        std::memcpy(&in, it->ifa_addr, sizeof in);
        AdapterAddress entry;
        entry.address = in.sin_addr.s_addr;
        if (it->ifa_netmask != nullptr && it->ifa_netmask->sa_family == AF_INET) {
            sockaddr_in mask{};
            std::memcpy(&mask, it->ifa_netmask, sizeof mask);
            entry.mask = mask.sin_addr.s_addr;
        }
        adapter->addresses.push_back(entry);
    }
    adapters = std::move(result);
    return kNetOk;
}

bool LinuxNetworkPlatform::IsNetworkAlive() {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        return false;
    }
    IfAddrsList list(raw);
    for (ifaddrs* it = list.get(); it != nullptr; it = it->ifa_next) {
        const unsigned int flags = it->ifa_flags;
        if ((flags & IFF_LOOPBACK) == 0 && (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0) {
            return true;
        }
    }
    return false;
}

int LinuxNetworkPlatform::AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) {
    const int prefix = MaskToPrefixLength(mask);
    if (ifIndex == 0 || address == 0 || prefix <= 0) {
        return kNetInvalidArgument;
    }
    return NetlinkAddIPv4Address(ifIndex, address, prefix);
}

int LinuxNetworkPlatform::AddRoute(const Ipv4Route& route) {
    if (route.ifIndex == 0 || route.prefixLength < 0 || route.prefixLength > 32) {
        return kNetInvalidArgument;
    }
    // Host bits in the destination make the kernel refuse; say so clearly here.
    if ((route.destination & ~PrefixLengthToMask(route.prefixLength)) != 0) {
        return kNetInvalidArgument;
    }
    return NetlinkAddIPv4Route(route);
}

bool LinuxNetworkPlatform::IsPhysicalAdapter(const std::string& name) {
    if (!IsValidInterfaceName(name)) {
        return false;
    }
    const std::string path = m_sysfsRoot + "/class/net/" + name + "/device";
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string LinuxNetworkPlatform::NeighbourMac(uint32_t address) {
    std::ifstream in("/proc/net/arp");
    std::ostringstream text;
    text << in.rdbuf();
    return FindNeighbourMac(text.str(), address);
}

}  // namespace platform
