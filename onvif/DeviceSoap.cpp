#include "onvif/DeviceSoap.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "common/crypto/Digest.h"
#include "common/markup/CBase64Encoder.h"
#include "common/markup/EntityDecode.h"
#include "onvif/OnvifNames.h"
#include "onvif/Scopes.h"

namespace onvif {
namespace {

using markup::XmlElement;

constexpr size_t kMaxReplyBytes = 256 * 1024;

std::string Text(const XmlElement* element) {
    return element == nullptr ? std::string() : std::string(markup::TrimXmlSpace(element->text));
}

bool Number(const SoapReply& reply, const XmlElement& parent, std::string_view local, int64_t low,
            int64_t high, int64_t& value) {
    const std::string text = Text(reply.doc.Child(parent, kSchemaNs, local));
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() &&
           value >= low && value <= high;
}

// The local part of a fault code's QName text ("env:Sender" -> "Sender").
std::string LocalOf(const SoapReply& reply, const XmlElement* value) {
    const std::string text = Text(value);
    std::string ns;
    std::string local;
    if (value != nullptr && reply.doc.ResolveQName(*value, text, ns, local)) {
        return local;
    }
    const size_t colon = text.rfind(':');
    return colon == std::string::npos ? text : text.substr(colon + 1);
}

}  // namespace

std::string PasswordDigest(std::span<const uint8_t> nonce, std::string_view created,
                           std::string_view password) {
    std::string material(reinterpret_cast<const char*>(nonce.data()), nonce.size());
    material.append(created);
    material.append(password);
    crypto::Sha1Digest digest{};
    crypto::Sha1(material, digest);
    return CBase64Encoder().Encode(digest.data(), digest.size());
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string FormatUtc(int64_t utcMs) {
    int64_t days = utcMs >= 0 ? utcMs / 86400000 : -((-utcMs + 86399999) / 86400000);
    int64_t msOfDay = utcMs - days * 86400000;
    // civil_from_days
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[160];
    std::snprintf(
        text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ",
        static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
        static_cast<long long>(msOfDay / 3600000), static_cast<long long>(msOfDay / 60000 % 60),
        static_cast<long long>(msOfDay / 1000 % 60), static_cast<long long>(msOfDay % 1000));
    return text;
}

bool MakeUsernameToken(const std::string& user, const std::string& password, int64_t createdUtcMs,
                       UsernameToken& token) {
    std::array<uint8_t, 16> nonce{};
    if (!crypto::RandomBytes(nonce)) {
        return false;
    }
    token.user = user;
    token.created = FormatUtc(createdUtcMs);
    token.nonceBase64 = CBase64Encoder().Encode(nonce.data(), nonce.size());
    token.passwordDigest = PasswordDigest(nonce, token.created, password);
    return true;
}

std::string DeviceAction(std::string_view operation) {
    return std::string(kDeviceNs) + "/" + std::string(operation);
}

std::string BuildDeviceRequest(std::string_view operation, const UsernameToken* token) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"";
    text += kSoap12Ns;
    text += "\" xmlns:tds=\"";
    text += kDeviceNs;
    text += "\">";
    if (token != nullptr) {
        text += "<s:Header><wsse:Security s:mustUnderstand=\"1\" xmlns:wsse=\"";
        text += kSecurityNs;
        text += "\" xmlns:wsu=\"";
        text += kUtilityNs;
        text += "\"><wsse:UsernameToken><wsse:Username>";
        text += markup::EscapeXml(token->user);
        text += "</wsse:Username><wsse:Password Type=\"";
        text += kPasswordDigestType;
        text += "\">";
        text += token->passwordDigest;
        text += "</wsse:Password><wsse:Nonce EncodingType=\"";
        text += kBase64BinaryType;
        text += "\">";
        text += token->nonceBase64;
        text += "</wsse:Nonce><wsu:Created>";
        text += token->created;
        text += "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
    }
    text += "<s:Body><tds:";
    text += operation;
    text += "/></s:Body></s:Envelope>";
    return text;
}

bool ParseSoapReply(std::string_view text, SoapReply& reply) {
    reply.parsed = false;
    reply.fault = false;
    reply.content = nullptr;
    markup::XmlLimits limits;
    limits.maxBytes = kMaxReplyBytes;
    if (!reply.doc.Parse(text, limits)) {
        return false;
    }
    const XmlElement& root = *reply.doc.Root();
    const bool soap12 = root.ns == kSoap12Ns;
    if (root.local != "Envelope" || (!soap12 && root.ns != kSoap11Ns)) {
        return false;
    }
    const std::string_view soap = root.ns;
    const XmlElement* body = reply.doc.Child(root, soap, "Body");
    if (body == nullptr) {
        return false;
    }
    reply.parsed = true;
    if (!body->children.empty()) {
        const XmlElement* first = reply.doc.Child(*body, soap, "Fault");
        if (first != nullptr) {
            reply.fault = true;
            if (soap12) {
                const XmlElement* code = reply.doc.Child(*first, soap, "Code");
                if (code != nullptr) {
                    reply.faultCode = LocalOf(reply, reply.doc.Child(*code, soap, "Value"));
                    const XmlElement* sub = reply.doc.Child(*code, soap, "Subcode");
                    while (sub != nullptr) {
                        reply.faultSubcode = LocalOf(reply, reply.doc.Child(*sub, soap, "Value"));
                        sub = reply.doc.Child(*sub, soap,
                                              "Subcode");  // the innermost is the most telling
                    }
                }
                reply.faultReason = Text(reply.doc.Path(*first, soap, {"Reason", "Text"}));
            } else {
                reply.faultCode = LocalOf(reply, reply.doc.Child(*first, "", "faultcode"));
                reply.faultReason = Text(reply.doc.Child(*first, "", "faultstring"));
            }
            reply.content = first;
        } else {
            reply.content = reply.doc.FirstChild(*body);
        }
    }
    return true;
}

bool ReadSystemDateAndTime(const SoapReply& reply, int64_t& utcMs) {
    if (!reply.parsed || reply.fault || reply.content == nullptr ||
        reply.content->local != "GetSystemDateAndTimeResponse" || reply.content->ns != kDeviceNs) {
        return false;
    }
    const XmlElement* utc = reply.doc.Path(*reply.content, kDeviceNs, {"SystemDateAndTime"});
    utc = utc == nullptr ? nullptr : reply.doc.Child(*utc, kSchemaNs, "UTCDateTime");
    if (utc == nullptr) {
        return false;
    }
    const XmlElement* date = reply.doc.Child(*utc, kSchemaNs, "Date");
    const XmlElement* time = reply.doc.Child(*utc, kSchemaNs, "Time");
    int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (date == nullptr || time == nullptr || !Number(reply, *date, "Year", 1970, 9999, year) ||
        !Number(reply, *date, "Month", 1, 12, month) || !Number(reply, *date, "Day", 1, 31, day) ||
        !Number(reply, *time, "Hour", 0, 23, hour) ||
        !Number(reply, *time, "Minute", 0, 59, minute) ||
        !Number(reply, *time, "Second", 0, 60, second)) {
        return false;
    }
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    utcMs = ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000;
    return true;
}

bool ReadDeviceInformation(const SoapReply& reply, DeviceInformation& info) {
    if (!reply.parsed || reply.fault || reply.content == nullptr ||
        reply.content->local != "GetDeviceInformationResponse" || reply.content->ns != kDeviceNs) {
        return false;
    }
    const XmlElement& r = *reply.content;
    info.manufacturer = Text(reply.doc.Child(r, kDeviceNs, "Manufacturer"));
    info.model = Text(reply.doc.Child(r, kDeviceNs, "Model"));
    info.firmwareVersion = Text(reply.doc.Child(r, kDeviceNs, "FirmwareVersion"));
    info.serialNumber = Text(reply.doc.Child(r, kDeviceNs, "SerialNumber"));
    info.hardwareId = Text(reply.doc.Child(r, kDeviceNs, "HardwareId"));
    return true;
}

bool ReadNetworkInterfaces(const SoapReply& reply, std::vector<std::string>& macs) {
    macs.clear();
    if (!reply.parsed || reply.fault || reply.content == nullptr ||
        reply.content->local != "GetNetworkInterfacesResponse" || reply.content->ns != kDeviceNs) {
        return false;
    }
    for (const XmlElement* nic :
         reply.doc.Children(*reply.content, kDeviceNs, "NetworkInterfaces")) {
        const std::string text = Text(reply.doc.Path(*nic, kSchemaNs, {"Info", "HwAddress"}));
        if (text.empty()) {
            continue;
        }
        const std::string mac = NormaliseMac(text);
        macs.push_back(mac.empty() ? text : mac);
    }
    return true;
}

bool IsAuthorizationFault(const SoapReply& reply) {
    return reply.fault &&
           (reply.faultSubcode == "NotAuthorized" || reply.faultSubcode == "FailedAuthentication" ||
            reply.faultCode == "FailedAuthentication" || reply.faultCode == "NotAuthorized");
}

}  // namespace onvif
