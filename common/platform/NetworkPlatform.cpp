#include "common/platform/NetworkPlatform.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

std::atomic<NetworkPlatform*> g_replacement{nullptr};

}  // namespace

const char* NetResultText(int code) {
    switch (code) {
        case kNetOk:
            return "success";
        case kNetInvalidArgument:
            return "invalid address, mask, prefix or interface name";
        case kNetNoSuchAdapter:
            return "no such network interface";
        case kNetAlreadyExists:
            return "the address or route already exists";
        case kNetPermissionDenied:
            return "not permitted to change the network configuration";
        case kNetOutOfMemory:
            return "out of memory";
        case kNetSystemError:
            return "the system refused the network operation";
        default:
            return "unknown result";
    }
}

NetworkPlatform& Network() {
    NetworkPlatform* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : SystemNetwork();
}

NetworkPlatform* SetNetwork(NetworkPlatform* replacement) {
    return g_replacement.exchange(replacement, std::memory_order_acq_rel);
}

int GetAdapterList(NetworkPlatform& net, std::vector<AdapterInfo>& adapters) {
    std::vector<AdapterInfo> all;
    const int rc = net.GetAdapters(all);
    if (rc != kNetOk) {
        return rc;
    }
    adapters.clear();
    for (auto& adapter : all) {
        if (!adapter.loopback) {
            adapters.push_back(std::move(adapter));
        }
    }
    return kNetOk;
}

bool FindHardwareAddress(NetworkPlatform& net, uint32_t localAddress,
                         std::array<uint8_t, 6>& hardwareAddress) {
    hardwareAddress.fill(0);
    std::vector<AdapterInfo> adapters;
    if (net.GetAdapters(adapters) != kNetOk) {
        return false;
    }
    for (const auto& adapter : adapters) {
        for (const auto& entry : adapter.addresses) {
            if (entry.address == localAddress) {
                hardwareAddress = adapter.hardwareAddress;
                return true;
            }
        }
    }
    return false;
}

uint32_t FindAdapterIndex(NetworkPlatform& net, const std::string& name) {
    std::vector<AdapterInfo> adapters;
    if (name.empty() || net.GetAdapters(adapters) != kNetOk) {
        return 0;
    }
    for (const auto& adapter : adapters) {
        if (adapter.name == name) {
            return adapter.index;
        }
    }
    return 0;
}

int AddIPAddressByName(NetworkPlatform& net, const std::string& name, uint32_t address,
                       uint32_t mask) {
    const uint32_t index = FindAdapterIndex(net, name);
    if (index == 0) {
        return kNetNoSuchAdapter;
    }
    return net.AddIPAddress(index, address, mask);
}

std::vector<std::string> HostIPv4AddressesOf(NetworkPlatform& net) {
    std::vector<std::string> result;
    std::vector<AdapterInfo> adapters;
    if (net.GetAdapters(adapters) != kNetOk) {
        return result;
    }
    for (const auto& adapter : adapters) {
        if (adapter.loopback || !adapter.up) {
            continue;
        }
        for (const auto& entry : adapter.addresses) {
            result.push_back(FormatIPv4(entry.address));
        }
    }
    return result;
}

std::string FormatIPv4(uint32_t address) {
    const uint32_t host = ntohl(address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (host >> 24) & 0xFFu, (host >> 16) & 0xFFu,
                  (host >> 8) & 0xFFu, host & 0xFFu);
    return text;
}

std::string FindNeighbourMac(const std::string& arpTable, uint32_t address) {
    // "IP address  HW type  Flags  HW address  Mask  Device", one entry a
    // line after the heading; flag 0x2 marks a complete entry.
    std::istringstream lines(arpTable);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ip, type, flags, mac;
        if (!(fields >> ip >> type >> flags >> mac)) {
            continue;
        }
        uint32_t entry = 0;
        if (!ParseIPv4(ip, entry) || entry != address) {
            continue;
        }
        const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if ((flagBits & 0x2) == 0 || mac.size() != 17 || mac == "00:00:00:00:00:00") {
            return std::string();
        }
        for (char& c : mac) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return mac;
    }
    return std::string();
}

std::string FormatMac(const std::array<uint8_t, 6>& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

bool ParseIPv4(const std::string& text, uint32_t& address) {
    uint32_t host = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') {
                return false;
            }
            ++pos;
        }
        uint32_t value = 0;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return false;
        }
        host = (host << 8) | value;
    }
    if (pos != text.size()) {
        return false;
    }
    address = htonl(host);
    return true;
}

bool SystemParseIPv4(const char* text, uint32_t& address) {
    in_addr parsed{};
    if (text == nullptr || inet_pton(AF_INET, text, &parsed) != 1) {
        return false;
    }
    address = parsed.s_addr;
    return true;
}

bool IsMulticastIPv4(uint32_t address) {
    return IN_MULTICAST(ntohl(address));
}

bool IsDeviceIPv4(uint32_t address) {
    const uint32_t host = ntohl(address);
    return (host >> 24) != 0 && !IN_MULTICAST(host) && host != 0xFFFFFFFFu;
}

int MaskToPrefixLength(uint32_t mask) {
    const uint32_t host = ntohl(mask);
    const uint32_t inverted = ~host;
    // A contiguous mask is ones followed by zeros: its complement plus one is a power of two.
    if ((inverted & (inverted + 1)) != 0) {
        return -1;
    }
    int length = 0;
    for (uint32_t bit = 0x80000000u; bit != 0 && (host & bit) != 0; bit >>= 1) {
        ++length;
    }
    return length;
}

uint32_t PrefixLengthToMask(int prefixLength) {
    if (prefixLength <= 0 || prefixLength > 32) {
        return 0;
    }
    const uint32_t host = prefixLength == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength);
    return htonl(host);
}

}  // namespace platform
