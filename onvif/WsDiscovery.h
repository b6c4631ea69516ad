#pragma once
// WS-Discovery (2005/04) messages as a searcher sends and reads them: the
// typed Probe it sends, and the ProbeMatches, Hello and Bye it hears (and,
// for the simulated devices, the Probe itself). Parsing is a pure function
// over the datagram's bytes: a datagram that is not one of these, is not
// well-formed or breaks a limit gives Kind::Other and nothing else.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace onvif {

struct QName {
    std::string ns;
    std::string local;
    bool operator==(const QName&) const = default;
};

// The two types a camera answers to: dn:NetworkVideoTransmitter, tds:Device.
QName NetworkVideoTransmitterType();
QName DeviceType();

// What one ProbeMatch, Hello or Bye says about its sender.
struct DiscoveryTarget {
    std::string endpoint;  // EndpointReference/Address: the identity (urn:uuid:...)
    std::vector<QName> types;
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;
    uint32_t metadataVersion = 0;
};

struct DiscoveryMessage {
    enum class Kind { Other, Probe, ProbeMatches, Hello, Bye, Fault };
    Kind kind = Kind::Other;
    bool soap11 = false;  // the SOAP 1.1 envelope rather than 1.2
    std::string messageId;
    std::string relatesTo;
    std::vector<DiscoveryTarget> targets;  // ProbeMatches: one per match; Hello, Bye: one
    std::vector<QName> probeTypes;         // Probe: empty matches every type
    bool probeTypesUnresolved = false;     // Probe: a type's prefix was not declared
};

// What a datagram may hold at most; beyond these it is Kind::Other.
struct DiscoveryLimits {
    size_t maxDatagram = 65507;
    size_t maxTargets = 64;
    size_t maxListItems = 64;  // types, scopes, XAddrs of one target
    size_t maxItemLength = 1024;
    size_t maxEndpointLength = 256;
};

DiscoveryMessage ParseDiscoveryMessage(std::string_view datagram,
                                       const DiscoveryLimits& limits = DiscoveryLimits());

// True when the target says it is a camera: one of its types is
// dn:NetworkVideoTransmitter or tds:Device (a PC's own WS-Discovery service
// says wsdp:Device, which is another namespace).
bool IsCamera(const DiscoveryTarget& target);

// A Probe for one type, with the type's prefix declared on the Types element
// itself, ReplyTo anonymous and no AppSequence.
std::string BuildProbe(const std::string& messageId, const QName& type);

// A fresh "urn:uuid:" text (random, version 4).
std::string NewMessageId();

}  // namespace onvif
