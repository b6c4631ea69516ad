#pragma once
// The namespace URIs of ONVIF's discovery and device service. Messages are
// read by these URIs, never by the prefixes a sender chose.

#include <cstdint>
#include <string_view>

namespace onvif {

constexpr std::string_view kSoap12Ns = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kSoap11Ns = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr std::string_view kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
// dn:NetworkVideoTransmitter
constexpr std::string_view kNetworkNs = "http://www.onvif.org/ver10/network/wsdl";
// tds:Device and the device service's requests and answers
constexpr std::string_view kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
// tt: the schema's types (dates, network interfaces)
constexpr std::string_view kSchemaNs = "http://www.onvif.org/ver10/schema";
constexpr std::string_view kSecurityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
constexpr std::string_view kUtilityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr std::string_view kPasswordDigestType =
    "http://docs.oasis-open.org/wss/2004/01/"
    "oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
constexpr std::string_view kBase64BinaryType =
    "http://docs.oasis-open.org/wss/2004/01/"
    "oasis-200401-wss-soap-message-security-1.0#Base64Binary";

constexpr std::string_view kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr std::string_view kProbeMatchesAction =
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
constexpr std::string_view kHelloAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello";
constexpr std::string_view kByeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Bye";
constexpr std::string_view kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr std::string_view kAnonymous =
    "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// The group and port of the discovery.
constexpr const char* kDiscoveryGroup = "239.255.255.250";
constexpr uint16_t kDiscoveryPort = 3702;

}  // namespace onvif
