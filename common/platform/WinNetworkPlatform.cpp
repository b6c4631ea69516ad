#include "common/platform/WinNetworkPlatform.h"

// Before iphlpapi.h: its routing-table rows need both.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/platform/Diagnostics.h"
#include "common/platform/WinText.h"

namespace platform {
namespace {

// The registry key that lists the network adapters' classes.
constexpr wchar_t kAdapterClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}";
constexpr DWORD kPhysicalAdapterBit = 0x4;  // NCF_PHYSICAL

// GetAdaptersAddresses into a buffer that grows as the call asks; null
// (with *result set) on failure.
std::unique_ptr<uint8_t[]> AdapterAddresses(ULONG& result) {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                        GAA_FLAG_SKIP_FRIENDLY_NAME;
    ULONG size = 16 * 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
        if (!buffer) {
            result = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        result = ::GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
        if (result == NO_ERROR) {
            return buffer;
        }
        if (result == ERROR_NO_DATA) {
            return nullptr;  // no adapter at all
        }
        if (result != ERROR_BUFFER_OVERFLOW) {
            return nullptr;
        }
    }
    return nullptr;
}

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

}  // namespace

const NetworkRightsTexts& NetworkRights() {
    static const NetworkRightsTexts texts{
        "an administrator's rights (a Command Prompt run as administrator)",
        "run camprep as administrator", "needs an administrator"};
    return texts;
}

NetworkPlatform& SystemNetwork() {
    static WinNetworkPlatform system;
    return system;
}

int NetResultFromWindowsError(unsigned long error) {
    switch (error) {
        case NO_ERROR:
            return kNetOk;
        case ERROR_OBJECT_ALREADY_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return kNetAlreadyExists;
        case ERROR_ACCESS_DENIED:
            return kNetPermissionDenied;
        case ERROR_INVALID_PARAMETER:
            return kNetInvalidArgument;
        case ERROR_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            return kNetNoSuchAdapter;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return kNetOutOfMemory;
        default:
            return kNetSystemError;
    }
}

bool IsValidInterfaceName(const std::string& name) {
    if (name.empty() || name.size() > 255) {
        return false;
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) {
            return false;
        }
    }
    return true;
}

int WinNetworkPlatform::GetAdapters(std::vector<AdapterInfo>& adapters) {
    ULONG rc = NO_ERROR;
    const std::unique_ptr<uint8_t[]> buffer = AdapterAddresses(rc);
    if (!buffer) {
        if (rc == ERROR_NO_DATA) {
            adapters.clear();
            return kNetOk;
        }
        DiagPrintf("GetAdaptersAddresses failed: %lu\n", rc);
        return NetResultFromWindowsError(rc) == kNetOutOfMemory ? kNetOutOfMemory : kNetSystemError;
    }
    std::vector<AdapterInfo> result;
    for (auto* it = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get()); it != nullptr;
         it = it->Next) {
        AdapterInfo adapter;
        adapter.name = it->AdapterName != nullptr ? it->AdapterName : "";
        adapter.index = it->IfIndex;
        if (it->PhysicalAddressLength == adapter.hardwareAddress.size()) {
            std::memcpy(adapter.hardwareAddress.data(), it->PhysicalAddress,
                        adapter.hardwareAddress.size());
        }
        // Windows tells one state: an adapter that is up has its carrier.
        adapter.up = it->OperStatus == IfOperStatusUp;
        adapter.running = adapter.up;
        adapter.loopback = it->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (const IP_ADAPTER_UNICAST_ADDRESS* a = it->FirstUnicastAddress; a != nullptr;
             a = a->Next) {
            if (a->Address.lpSockaddr == nullptr || a->Address.lpSockaddr->sa_family != AF_INET) {
                continue;
            }
            sockaddr_in in{};
            std::memcpy(&in, a->Address.lpSockaddr, sizeof in);
            AdapterAddress entry;
            entry.address = in.sin_addr.s_addr;
            entry.mask = PrefixLengthToMask(static_cast<int>(a->OnLinkPrefixLength));
            adapter.addresses.push_back(entry);
        }
        result.push_back(std::move(adapter));
    }
    adapters = std::move(result);
    return kNetOk;
}

bool WinNetworkPlatform::IsNetworkAlive() {
    std::vector<AdapterInfo> adapters;
    if (GetAdapters(adapters) != kNetOk) {
        return false;
    }
    for (const AdapterInfo& adapter : adapters) {
        if (!adapter.loopback && adapter.up && adapter.running) {
            return true;
        }
    }
    return false;
}

int WinNetworkPlatform::AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) {
    const int prefix = MaskToPrefixLength(mask);
    if (ifIndex == 0 || address == 0 || prefix <= 0) {
        return kNetInvalidArgument;
    }
    // The context and instance are not kept: the address stays on the adapter.
    ULONG context = 0;
    ULONG instance = 0;
    const DWORD rc = ::AddIPAddress(address, mask, ifIndex, &context, &instance);
    if (rc != NO_ERROR) {
        DiagPrintf("AddIPAddress %s on interface %u failed: %lu\n", FormatIPv4(address).c_str(),
                   ifIndex, rc);
    }
    return NetResultFromWindowsError(rc);
}

int WinNetworkPlatform::AddRoute(const Ipv4Route& route) {
    if (route.ifIndex == 0 || route.prefixLength < 0 || route.prefixLength > 32) {
        return kNetInvalidArgument;
    }
    if ((route.destination & ~PrefixLengthToMask(route.prefixLength)) != 0) {
        return kNetInvalidArgument;
    }
    MIB_IPFORWARD_ROW2 row;
    ::InitializeIpForwardEntry(&row);
    row.InterfaceIndex = route.ifIndex;
    row.DestinationPrefix.Prefix.si_family = AF_INET;
    row.DestinationPrefix.Prefix.Ipv4.sin_family = AF_INET;
    row.DestinationPrefix.Prefix.Ipv4.sin_addr.s_addr = route.destination;
    row.DestinationPrefix.PrefixLength = static_cast<UINT8>(route.prefixLength);
    row.NextHop.si_family = AF_INET;
    row.NextHop.Ipv4.sin_family = AF_INET;
    row.NextHop.Ipv4.sin_addr.s_addr = route.gateway;  // 0.0.0.0: on the link
    row.Metric = route.metric;
    row.Protocol = static_cast<NL_ROUTE_PROTOCOL>(MIB_IPPROTO_NETMGMT);
    // As "route add" without -p: gone at the next start.
    const DWORD rc = ::CreateIpForwardEntry2(&row);
    if (rc != NO_ERROR) {
        DiagPrintf("CreateIpForwardEntry2 on interface %u failed: %lu\n", route.ifIndex, rc);
    }
    return NetResultFromWindowsError(rc);
}

bool WinNetworkPlatform::IsPhysicalAdapter(const std::string& name) {
    if (!IsValidInterfaceName(name)) {
        return false;
    }
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAdapterClassKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        return false;
    }
    const KeyPtr classKey(raw);
    const std::wstring wanted = Utf8ToWide(name);
    for (DWORD i = 0;; ++i) {
        wchar_t subkey[256];
        DWORD subkeyLength = sizeof subkey / sizeof subkey[0];
        const LSTATUS rc = ::RegEnumKeyExW(classKey.get(), i, subkey, &subkeyLength, nullptr,
                                           nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) {
            return false;
        }
        if (rc != ERROR_SUCCESS) {
            continue;
        }
        wchar_t instanceId[256] = {};
        DWORD instanceBytes = sizeof instanceId;
        if (::RegGetValueW(classKey.get(), subkey, L"NetCfgInstanceId", RRF_RT_REG_SZ, nullptr,
                           instanceId, &instanceBytes) != ERROR_SUCCESS ||
            ::_wcsicmp(instanceId, wanted.c_str()) != 0) {
            continue;
        }
        DWORD characteristics = 0;
        DWORD size = sizeof characteristics;
        if (::RegGetValueW(classKey.get(), subkey, L"Characteristics", RRF_RT_REG_DWORD, nullptr,
                           &characteristics, &size) != ERROR_SUCCESS) {
            return false;
        }
        return (characteristics & kPhysicalAdapterBit) != 0;
    }
}

std::string WinNetworkPlatform::NeighbourMac(uint32_t address) {
    ULONG size = 0;
    std::unique_ptr<uint8_t[]> buffer;
    DWORD rc = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4 && rc == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.reset(size > 0 ? new (std::nothrow) uint8_t[size] : nullptr);
        rc = ::GetIpNetTable(reinterpret_cast<MIB_IPNETTABLE*>(buffer.get()), &size, FALSE);
    }
    if (rc != NO_ERROR || !buffer) {
        return std::string();
    }
    const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buffer.get());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPNETROW& row = table->table[i];
        if (row.dwAddr != address) {
            continue;
        }
        // Dynamic and static entries are complete; invalid ones are not.
        if ((row.dwType != MIB_IPNET_TYPE_DYNAMIC && row.dwType != MIB_IPNET_TYPE_STATIC) ||
            row.dwPhysAddrLen != 6) {
            return std::string();
        }
        std::array<uint8_t, 6> mac{};
        std::memcpy(mac.data(), row.bPhysAddr, mac.size());
        if (mac == std::array<uint8_t, 6>{}) {
            return std::string();
        }
        return FormatMac(mac);
    }
    return std::string();
}

}  // namespace platform
