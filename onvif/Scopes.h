#pragma once
// What a camera's discovery answer tells beyond its identity: name, model,
// MAC and serial from its scopes, and where its device service is from its
// XAddrs. Pure functions over the texts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace onvif {

struct ScopeFacts {
    std::string name;      // onvif://www.onvif.org/name/...
    std::string hardware;  // .../hardware/...: the model
    std::string location;  // .../location/...
    std::string mac;       // .../MAC/, /mac/, /MacAddress/ ...: "AA:BB:CC:DD:EE:FF", or empty
    std::string serial;    // .../SerialNumber/...
};

// The first scope of each category (values percent-decoded; a MAC in any of
// its spellings, with "-", ":" or no separators).
ScopeFacts ReadScopes(const std::vector<std::string>& scopes);

// %XX sequences decoded (an incomplete one is kept as it stands).
std::string PercentDecode(std::string_view text);

// "AA:BB:CC:DD:EE:FF" from a hardware address in any usual spelling (twelve
// hex digits, separated by ":", "-", "." or nothing, in either case); empty
// when the text is not one.
std::string NormaliseMac(std::string_view text);

// One XAddr: http://ADDRESS[:PORT]/PATH.
struct XAddr {
    std::string url;
    bool https = false;
    std::string host;
    uint32_t address = 0;  // network byte order; 0 when the host is not an IPv4 address
    uint16_t port = 0;     // 80 (443) when the URL gives none
};

// False for what is not an http or https URL with a host.
bool ParseXAddr(std::string_view url, XAddr& out);

// The index of the XAddr to use: a plain-HTTP IPv4 one in the subnet
// (localAddress, localMask) when there is one, else the first plain-HTTP IPv4
// one, else the first IPv4 one; -1 when none has an IPv4 address.
int PreferredXAddr(const std::vector<XAddr>& xaddrs, uint32_t localAddress, uint32_t localMask);

}  // namespace onvif
