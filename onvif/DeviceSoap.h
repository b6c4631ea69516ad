#pragma once
// The device service's SOAP messages as a client writes and reads them:
// requests with or without a WS-Security UsernameToken, and the answers to
// GetSystemDateAndTime, GetDeviceInformation and GetNetworkInterfaces, or a
// fault. Reading is a pure function over the reply's bytes, by namespace.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/markup/XmlNsDocument.h"

namespace onvif {

// Base64(SHA-1(nonce bytes, Created text, password as UTF-8)).
std::string PasswordDigest(std::span<const uint8_t> nonce, std::string_view created,
                           std::string_view password);

// A UTC time in milliseconds since 1970 as "YYYY-MM-DDThh:mm:ss.mmmZ".
std::string FormatUtc(int64_t utcMs);
// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

struct UsernameToken {
    std::string user;
    std::string passwordDigest;
    std::string nonceBase64;
    std::string created;
};

// A token signed at `createdUtcMs` with a fresh 16-byte nonce; false when no
// random bytes could be had.
bool MakeUsernameToken(const std::string& user, const std::string& password, int64_t createdUtcMs,
                       UsernameToken& token);

// A SOAP 1.2 request for a device-service operation without arguments
// ("GetSystemDateAndTime", "GetDeviceInformation", "GetNetworkInterfaces"),
// signed with the token when one is given.
std::string BuildDeviceRequest(std::string_view operation, const UsernameToken* token);
// The action of such a request, for the HTTP content type.
std::string DeviceAction(std::string_view operation);

struct SoapReply {
    SoapReply() = default;
    SoapReply(const SoapReply&) = delete;  // content points into doc
    SoapReply& operator=(const SoapReply&) = delete;
    bool parsed = false;  // a SOAP envelope with a body
    bool fault = false;
    std::string faultCode;     // local names: "Sender", "Receiver" (SOAP 1.1: "Client", "Server")
    std::string faultSubcode;  // e.g. "NotAuthorized"
    std::string faultReason;
    markup::XmlNsDocument doc;
    const markup::XmlElement* content = nullptr;  // the body's first element
};

// Reads a reply; false when it is not a SOAP envelope within the limits.
bool ParseSoapReply(std::string_view text, SoapReply& reply);

// GetSystemDateAndTime's UTCDateTime in milliseconds since 1970; false when absent or invalid.
bool ReadSystemDateAndTime(const SoapReply& reply, int64_t& utcMs);

struct DeviceInformation {
    std::string manufacturer;
    std::string model;
    std::string firmwareVersion;
    std::string serialNumber;
    std::string hardwareId;
};
bool ReadDeviceInformation(const SoapReply& reply, DeviceInformation& info);

// The hardware address of each network interface, in the reply's order
// ("AA:BB:CC:DD:EE:FF" where the text is one in a usual spelling, else the
// text as it stands: the field is free text).
bool ReadNetworkInterfaces(const SoapReply& reply, std::vector<std::string>& macs);

// True for a fault that refuses the credentials (NotAuthorized, or a
// failed authentication of the WS-Security token).
bool IsAuthorizationFault(const SoapReply& reply);

}  // namespace onvif
