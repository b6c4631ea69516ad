#pragma once
// The device side of the ONVIF discovery: the ProbeMatches, Hello, Bye and
// fault a simulated camera sends. Devices write them in one of two prefix
// styles (like cameras of different makers), so a reader that goes by
// prefixes instead of namespaces fails on one of them.

#include <cstdint>
#include <string>
#include <vector>

#include "onvif/WsDiscovery.h"
#include "sim/DeviceConfig.h"

namespace sim {

struct OnvifTarget {
    std::string endpoint;
    bool nvt = true;     // dn:NetworkVideoTransmitter
    bool device = true;  // tds:Device
    std::vector<std::string> scopes;
    std::string xaddr;
    uint32_t metadataVersion = 1;
    int style = 0;  // 0: s/a/d, types declared on Types; 1: SOAP-ENV/wsa/wsdd, all on the envelope
};

// The target of a device: its endpoint, types, scopes (name, hardware,
// location, MAC in the configured spelling, extra ones) and XAddr.
OnvifTarget TargetOf(const DeviceConfig& config, uint16_t httpPort, size_t index);

// True when a probe for `types` matches the target (every type listed, an
// untyped probe matches all).
bool ProbeMatches(const OnvifTarget& target, const std::vector<onvif::QName>& types);

std::string BuildProbeMatch(const OnvifTarget& target, const std::string& relatesTo);
std::string BuildHello(const OnvifTarget& target, const std::string& messageId, uint32_t instanceId,
                       uint32_t messageNumber);
std::string BuildBye(const OnvifTarget& target, const std::string& messageId, uint32_t instanceId,
                     uint32_t messageNumber);
// The fault a gSOAP-based device sends to a probe it does not like.
std::string BuildProbeFault(const std::string& relatesTo);

// Percent-encodes a scope value (everything but unreserved characters).
std::string PercentEncode(const std::string& text);

}  // namespace sim
