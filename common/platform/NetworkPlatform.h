#pragma once
// The operating system's network services that the programs need: the
// adapter list, the network-alive test, adding an address or a route, and
// the physical-adapter test. One abstract interface, so that a Windows build
// can implement it with the IP Helper calls and tests can replace it.
//
// IPv4 addresses and masks are uint32_t in network byte order throughout
// (the form inet_addr gives and in_addr holds).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Result codes of the network functions.
enum NetResult : int {
    kNetOk = 0,
    kNetInvalidArgument = 1,   // bad address, mask, prefix or name
    kNetNoSuchAdapter = 2,     // no interface with that index or name
    kNetAlreadyExists = 3,     // the address or route is already there
    kNetPermissionDenied = 4,  // the process may not change the network configuration
    kNetOutOfMemory = 5,
    kNetSystemError = 6,  // any other refusal of the system (the diagnostics channel has details)
};

// A short English text for a NetResult code ("unknown result" for others).
const char* NetResultText(int code);

struct AdapterAddress {
    uint32_t address = 0;
    uint32_t mask = 0;
};

struct AdapterInfo {
    std::string name;                          // interface name (a GUID text on Windows)
    uint32_t index = 0;                        // interface index
    std::array<uint8_t, 6> hardwareAddress{};  // zero when the interface has none
    std::vector<AdapterAddress> addresses;     // IPv4 addresses in the system's order
    bool up = false;
    bool running = false;  // up with a carrier
    bool loopback = false;
};

// A route to destination/prefixLength through the interface ifIndex, via
// gateway when it is not 0 (otherwise the destination is on the link).
struct Ipv4Route {
    uint32_t destination = 0;
    int prefixLength = 0;
    uint32_t ifIndex = 0;
    uint32_t gateway = 0;
    uint32_t metric = 0;
};

class NetworkPlatform {
public:
    virtual ~NetworkPlatform() = default;

    // Every interface, loopback included, in the kernel's interface order.
    // Returns a NetResult code; adapters is replaced on success.
    virtual int GetAdapters(std::vector<AdapterInfo>& adapters) = 0;

    // True when some interface other than loopback is up and running.
    virtual bool IsNetworkAlive() = 0;

    // Adds address/mask to the interface ifIndex. The mask must be contiguous.
    virtual int AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) = 0;

    // Adds a route to the main routing table.
    virtual int AddRoute(const Ipv4Route& route) = 0;

    // True when a hardware device stands behind the interface (not loopback,
    // a bridge, a tunnel or another virtual interface).
    virtual bool IsPhysicalAdapter(const std::string& name) = 0;

    // The hardware address ("AA:BB:CC:DD:EE:FF") the neighbour table holds
    // for an address on a directly attached link; empty when it holds none
    // (a device behind a router has none: its frames come from the router).
    virtual std::string NeighbourMac(uint32_t address) {
        (void)address;
        return std::string();
    }
};

// The process's network platform: the system's, unless a test installed its own.
NetworkPlatform& Network();

// The system's implementation, whatever is installed.
NetworkPlatform& SystemNetwork();

// Installs a replacement (nullptr restores the system's); returns the one
// installed before. The replacement must outlive its use.
NetworkPlatform* SetNetwork(NetworkPlatform* replacement);

// Installs a replacement for the lifetime of the object.
class ScopedNetwork {
public:
    explicit ScopedNetwork(NetworkPlatform& replacement) : m_previous(SetNetwork(&replacement)) {}
    ~ScopedNetwork() { SetNetwork(m_previous); }
    ScopedNetwork(const ScopedNetwork&) = delete;
    ScopedNetwork& operator=(const ScopedNetwork&) = delete;

private:
    NetworkPlatform* m_previous;
};

// True for a name that can name an interface of this system. Linux: 1 to 15
// characters, no '/', ':' or white space, not "." or "..". Windows: an
// adapter's GUID text or friendly name, 1 to 255 characters (spaces
// allowed), no control characters.
bool IsValidInterfaceName(const std::string& name);

// How this system names the rights that changing addresses and capturing
// packets need, for the messages that ask for them.
struct NetworkRightsTexts {
    const char* both;       // "the right to change addresses (CAP_NET_ADMIN) and ..."
    const char* addresses;  // "run as root or with CAP_NET_ADMIN"
    const char* capture;    // "needs root or CAP_NET_RAW"
};
const NetworkRightsTexts& NetworkRights();

// --- Helpers over any NetworkPlatform -----------------------------------

// The adapters as the Windows adapter list gives them: loopback left out.
int GetAdapterList(NetworkPlatform& net, std::vector<AdapterInfo>& adapters);

// The 6-byte hardware address of the first adapter that holds localAddress.
// False (and zeros) when no adapter holds it or the list cannot be read.
bool FindHardwareAddress(NetworkPlatform& net, uint32_t localAddress,
                         std::array<uint8_t, 6>& hardwareAddress);

// The index of the interface with that name; 0 when there is none.
uint32_t FindAdapterIndex(NetworkPlatform& net, const std::string& name);

// AddIPAddress by interface name.
int AddIPAddressByName(NetworkPlatform& net, const std::string& name, uint32_t address,
                       uint32_t mask);

// Dotted texts of the addresses of every interface that is up, loopback left
// out, in interface order.
std::vector<std::string> HostIPv4AddressesOf(NetworkPlatform& net);

// The hardware address of `address` (network byte order) in the text of the
// kernel's neighbour table (/proc/net/arp), upper case; empty when it has no
// complete entry.
std::string FindNeighbourMac(const std::string& arpTable, uint32_t address);

// "AA:BB:CC:DD:EE:FF", upper case.
std::string FormatMac(const std::array<uint8_t, 6>& mac);

// --- Address texts and masks ---------------------------------------------

// Dotted text of an address in network byte order.
std::string FormatIPv4(uint32_t address);

// Strict dotted-quad parse ("a.b.c.d", each 0..255, no other characters).
bool ParseIPv4(const std::string& text, uint32_t& address);
// The system's own reading of dotted IPv4 text (inet_pton), for the places
// that always took it; stricter than ParseIPv4 about leading zeros.
bool SystemParseIPv4(const char* text, uint32_t& address);
// True for an address (network byte order) in 224.0.0.0/4.
bool IsMulticastIPv4(uint32_t address);
// True when a device can be at this address (network byte order): not in
// 0.0.0.0/8 (which reaches this host itself), not multicast, not the
// limited broadcast.
bool IsDeviceIPv4(uint32_t address);

// Prefix length of a contiguous mask; -1 when the mask is not contiguous.
int MaskToPrefixLength(uint32_t mask);

// The mask of a prefix length 0..32 (0 for other values).
uint32_t PrefixLengthToMask(int prefixLength);

}  // namespace platform
