#include "sim/OnvifDeviceAnswer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>

#include "common/crypto/Digest.h"
#include "common/markup/EntityDecode.h"
#include "common/markup/XmlNsDocument.h"
#include "onvif/DeviceSoap.h"
#include "onvif/OnvifNames.h"
#include "onvif/Scopes.h"
#include "sim/Base64Decode.h"
#include "sim/OnvifMessages.h"

namespace sim {
namespace {

using markup::XmlElement;
constexpr size_t kRememberedNonces = 1024;
constexpr const char* kRealm = "camsim";

struct Prefixes {
    const char* env;
    const char* tds;
    const char* tt;
};

const Prefixes& PrefixesOf(int style) {
    static const Prefixes kStyles[2] = {{"s", "tds", "tt"}, {"env", "dev", "sch"}};
    return kStyles[style == 1 ? 1 : 0];
}

std::string Envelope(const Prefixes& p, const std::string& content) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><") + p.env +
           ":Envelope xmlns:" + p.env + "=\"" + std::string(onvif::kSoap12Ns) +
           "\" xmlns:" + p.tds + "=\"" + std::string(onvif::kDeviceNs) + "\" xmlns:" + p.tt +
           "=\"" + std::string(onvif::kSchemaNs) +
           "\" xmlns:ter=\"http://www.onvif.org/ver10/error\"><" + p.env + ":Body>" + content +
           "</" + p.env + ":Body></" + p.env + ":Envelope>";
}

std::string Fault(const Prefixes& p, const char* code, const char* subcode, const char* reason) {
    const std::string e = p.env;
    return Envelope(p, "<" + e + ":Fault><" + e + ":Code><" + e + ":Value>" + e + ":" + code +
                           "</" + e + ":Value><" + e + ":Subcode><" + e + ":Value>ter:" + subcode +
                           "</" + e + ":Value></" + e + ":Subcode></" + e + ":Code><" + e +
                           ":Reason><" + e + ":Text xml:lang=\"en\">" + reason + "</" + e +
                           ":Text></" + e + ":Reason></" + e + ":Fault>");
}

std::string Element(const char* prefix, const char* name, const std::string& text) {
    return "<" + std::string(prefix) + ":" + name + ">" + markup::EscapeXml(text) + "</" + prefix +
           ":" + name + ">";
}

std::string DateTime(const Prefixes& p, int64_t utcMs) {
    // FormatUtc gives "YYYY-MM-DDThh:mm:ss.mmmZ".
    const std::string t = onvif::FormatUtc(utcMs);
    auto part = [&](size_t at, size_t n) { return std::to_string(std::stoi(t.substr(at, n))); };
    return std::string("<") + p.tt + ":Time>" + Element(p.tt, "Hour", part(11, 2)) +
           Element(p.tt, "Minute", part(14, 2)) + Element(p.tt, "Second", part(17, 2)) + "</" +
           p.tt + ":Time><" + p.tt + ":Date>" + Element(p.tt, "Year", part(0, 4)) +
           Element(p.tt, "Month", part(5, 2)) + Element(p.tt, "Day", part(8, 2)) + "</" + p.tt +
           ":Date>";
}

std::string HexDigest(const std::string& algorithm, const std::string& text) {
    if (algorithm == "SHA-256") {
        crypto::Sha256Digest d{};
        crypto::Sha256(text, d);
        return crypto::HexText(d);
    }
    crypto::Md5Digest d{};
    crypto::Md5(text, d);
    return crypto::HexText(d);
}

bool TokenAccepted(const markup::XmlNsDocument& doc, const XmlElement* header,
                   const DeviceConfig& config, int64_t deviceUtcMs, OnvifAuthState& state) {
    if (header == nullptr) {
        return false;
    }
    const XmlElement* token = doc.Path(*header, onvif::kSecurityNs, {"Security", "UsernameToken"});
    if (token == nullptr) {
        return false;
    }
    auto text = [&](std::string_view ns, std::string_view local) {
        const XmlElement* e = doc.Child(*token, ns, local);
        return e == nullptr ? std::string() : std::string(markup::TrimXmlSpace(e->text));
    };
    const XmlElement* password = doc.Child(*token, onvif::kSecurityNs, "Password");
    if (text(onvif::kSecurityNs, "Username") != config.identity.user || password == nullptr) {
        return false;
    }
    const std::string* type = markup::XmlNsDocument::Attribute(*password, "", "Type");
    const std::string given(markup::TrimXmlSpace(password->text));
    if (type != nullptr && *type != onvif::kPasswordDigestType) {
        return given == config.identity.password;  // PasswordText
    }
    std::string nonce;
    int64_t created = 0;
    const std::string createdText = text(onvif::kUtilityNs, "Created");
    if (!DecodeBase64(text(onvif::kSecurityNs, "Nonce"), nonce) || nonce.empty() ||
        !ParseUtcText(createdText, created)) {
        return false;
    }
    if (created > deviceUtcMs + kCreatedAheadMs || created < deviceUtcMs - kCreatedBehindMs) {
        return false;
    }
    const std::string expected = onvif::PasswordDigest(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(nonce.data()), nonce.size()),
        createdText, config.identity.password);
    if (expected != given || !state.usedNonces.insert(nonce).second) {
        return false;  // a wrong digest, or a nonce used before
    }
    state.usedOrder.push_back(nonce);
    if (state.usedOrder.size() > kRememberedNonces) {
        state.usedNonces.erase(state.usedOrder.front());
        state.usedOrder.pop_front();
    }
    return true;
}

bool DigestAccepted(const HttpRequestHead& head, const DeviceConfig& config,
                    const OnvifAuthState& state) {
    auto header = head.headers.find("authorization");
    std::map<std::string, std::string> f;
    if (header == head.headers.end() || !ParseDigestAuthorization(header->second, f)) {
        return false;
    }
    const std::string& algorithm = config.onvif.digestAlgorithm;
    const std::string given = f.count("algorithm") != 0 ? f["algorithm"] : "MD5";
    if (given != algorithm || f["username"] != config.identity.user || f["realm"] != kRealm ||
        f["uri"].empty() ||
        std::find(state.issued.begin(), state.issued.end(), f["nonce"]) == state.issued.end()) {
        return false;
    }
    const std::string ha1 =
        HexDigest(algorithm, config.identity.user + ":" + kRealm + ":" + config.identity.password);
    const std::string ha2 = HexDigest(algorithm, head.method + ":" + f["uri"]);
    const std::string expected =
        f.count("qop") != 0 ? HexDigest(algorithm, ha1 + ":" + f["nonce"] + ":" + f["nc"] + ":" +
                                                       f["cnonce"] + ":" + f["qop"] + ":" + ha2)
                            : HexDigest(algorithm, ha1 + ":" + f["nonce"] + ":" + ha2);
    return expected == f["response"];
}

std::string Challenge(const DeviceConfig& config, OnvifAuthState& state) {
    std::array<uint8_t, 16> bytes{};
    crypto::RandomBytes(bytes);
    const std::string nonce = crypto::HexText(bytes) + std::to_string(++state.counter);
    state.issued.push_back(nonce);
    if (state.issued.size() > 64) {
        state.issued.pop_front();
    }
    return std::string("Digest realm=\"") + kRealm + "\", qop=\"auth\", nonce=\"" + nonce +
           "\", algorithm=" + config.onvif.digestAlgorithm;
}

}  // namespace

bool ParseUtcText(std::string_view text, int64_t& utcMs) {
    // YYYY-MM-DDThh:mm:ss[.f+]Z
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text.back() != 'Z') {
        return false;
    }
    auto number = [&](size_t at, size_t n, int64_t& out) {
        const auto r = std::from_chars(text.data() + at, text.data() + at + n, out);
        return r.ec == std::errc() && r.ptr == text.data() + at + n;
    };
    int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) ||
        !number(14, 2, mi) || !number(17, 2, s) || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 ||
        mi > 59 || s > 60) {
        return false;
    }
    if (text.size() > 20) {
        if (text[19] != '.' || text.size() > 30) {
            return false;
        }
        const std::string_view fraction = text.substr(20, text.size() - 21);
        std::string three = std::string(fraction.substr(0, 3)) +
                            std::string(3 - std::min<size_t>(3, fraction.size()), '0');
        int64_t digits = 0;
        if (fraction.empty() || !std::all_of(fraction.begin(), fraction.end(),
                                             [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        std::from_chars(three.data(), three.data() + 3, digits);
        ms = digits;
    }
    utcMs =
        ((onvif::DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 24 + h) *
             60 +
         mi) *
            60000 +
        s * 1000 + ms;
    return true;
}

OnvifHttpAnswer AnswerOnvifRequest(const HttpRequestHead& head, std::string_view body,
                                   const DeviceConfig& config, uint16_t httpPort, int style,
                                   int64_t deviceUtcMs, OnvifAuthState& state) {
    const Prefixes& p = PrefixesOf(style);
    OnvifHttpAnswer answer;
    // A digest client first sends the request without its body (it expects
    // the challenge): a camera that wants HTTP digest answers that with 401.
    if (config.onvif.auth == "digest" && body.empty() && !DigestAccepted(head, config, state)) {
        answer.status = 401;
        answer.wwwAuthenticate = Challenge(config, state);
        return answer;
    }
    markup::XmlNsDocument doc;
    const XmlElement* root = nullptr;
    if (head.method != "POST" || !doc.Parse(body) || (root = doc.Root())->local != "Envelope" ||
        (root->ns != onvif::kSoap12Ns && root->ns != onvif::kSoap11Ns)) {
        answer.status = 400;
        answer.body = Fault(p, "Sender", "WellFormed", "Not a SOAP request");
        return answer;
    }
    const XmlElement* header = doc.Child(*root, root->ns, "Header");
    const XmlElement* requestBody = doc.Child(*root, root->ns, "Body");
    const XmlElement* request = requestBody == nullptr ? nullptr : doc.FirstChild(*requestBody);
    if (request == nullptr) {
        answer.status = 400;
        answer.body = Fault(p, "Sender", "WellFormed", "No request in the body");
        return answer;
    }
    answer.operation = request->local;
    const std::string& op = answer.operation;
    const bool known = request->ns == onvif::kDeviceNs;
    const bool anonymous = known && (op == "GetSystemDateAndTime" || op == "GetCapabilities" ||
                                     op == "GetServices" || op == "GetHostname");
    const bool signedCall = known && (op == "GetDeviceInformation" ||
                                      op == "GetNetworkInterfaces" || op == "GetScopes");
    if (!anonymous && !signedCall) {
        answer.status = 500;
        answer.body =
            Fault(p, "Receiver", "ActionNotSupported", "The requested action is not supported");
        return answer;
    }
    if (signedCall) {
        if (config.onvif.auth == "digest") {
            if (!DigestAccepted(head, config, state)) {
                answer.status = 401;
                answer.refused = true;
                answer.wwwAuthenticate = Challenge(config, state);
                return answer;
            }
        } else if (!TokenAccepted(doc, header, config, deviceUtcMs, state)) {
            answer.status = 400;
            answer.refused = true;
            answer.body = Fault(p, "Sender", "NotAuthorized", "Sender not Authorized");
            return answer;
        }
    }
    const std::string tds = p.tds;
    const std::string tt = p.tt;
    const std::string url = "http://" + config.identity.listenAddress + ":" +
                            std::to_string(httpPort) + "/onvif/device_service";
    std::string content;
    if (op == "GetSystemDateAndTime") {
        content = "<" + tds + ":GetSystemDateAndTimeResponse><" + tds + ":SystemDateAndTime>" +
                  Element(p.tt, "DateTimeType", "Manual") +
                  Element(p.tt, "DaylightSavings", "false") + "<" + tt + ":TimeZone>" +
                  Element(p.tt, "TZ", "UTC0") + "</" + tt + ":TimeZone><" + tt + ":UTCDateTime>" +
                  DateTime(p, deviceUtcMs) + "</" + tt + ":UTCDateTime><" + tt + ":LocalDateTime>" +
                  DateTime(p, deviceUtcMs) + "</" + tt + ":LocalDateTime></" + tds +
                  ":SystemDateAndTime></" + tds + ":GetSystemDateAndTimeResponse>";
    } else if (op == "GetDeviceInformation") {
        content = "<" + tds + ":GetDeviceInformationResponse>" +
                  Element(p.tds, "Manufacturer", config.onvif.manufacturer) +
                  Element(p.tds, "Model", config.identity.productModel) +
                  Element(p.tds, "FirmwareVersion", config.identity.softwareVer) +
                  Element(p.tds, "SerialNumber", config.onvif.serialNumber) +
                  Element(p.tds, "HardwareId", config.onvif.hardwareId) + "</" + tds +
                  ":GetDeviceInformationResponse>";
    } else if (op == "GetNetworkInterfaces") {
        const std::string hw =
            config.onvif.hwAddress.empty() ? config.identity.mac : config.onvif.hwAddress;
        content = "<" + tds + ":GetNetworkInterfacesResponse><" + tds +
                  ":NetworkInterfaces token=\"eth0\">" + Element(p.tt, "Enabled", "true") + "<" +
                  tt + ":Info>" + Element(p.tt, "Name", "eth0") + Element(p.tt, "HwAddress", hw) +
                  Element(p.tt, "MTU", "1500") + "</" + tt + ":Info><" + tt + ":IPv4>" +
                  Element(p.tt, "Enabled", "true") + "<" + tt + ":Config><" + tt + ":Manual>" +
                  Element(p.tt, "Address", config.identity.listenAddress) +
                  Element(p.tt, "PrefixLength", "24") + "</" + tt + ":Manual>" +
                  Element(p.tt, "DHCP", "false") + "</" + tt + ":Config></" + tt + ":IPv4></" +
                  tds + ":NetworkInterfaces></" + tds + ":GetNetworkInterfacesResponse>";
    } else if (op == "GetScopes") {
        content = "<" + tds + ":GetScopesResponse>";
        for (const std::string& scope : TargetOf(config, httpPort, 0).scopes) {
            content += "<" + tds + ":Scopes>" + Element(p.tt, "ScopeDef", "Fixed") +
                       Element(p.tt, "ScopeItem", scope) + "</" + tds + ":Scopes>";
        }
        content += "</" + tds + ":GetScopesResponse>";
    } else if (op == "GetHostname") {
        content = "<" + tds + ":GetHostnameResponse><" + tds + ":HostnameInformation>" +
                  Element(p.tt, "FromDHCP", "false") +
                  Element(p.tt, "Name", config.identity.devName) + "</" + tds +
                  ":HostnameInformation></" + tds + ":GetHostnameResponse>";
    } else if (op == "GetCapabilities") {
        content = "<" + tds + ":GetCapabilitiesResponse><" + tds + ":Capabilities><" + tt +
                  ":Device>" + Element(p.tt, "XAddr", url) + "</" + tt + ":Device></" + tds +
                  ":Capabilities></" + tds + ":GetCapabilitiesResponse>";
    } else {  // GetServices
        content = "<" + tds + ":GetServicesResponse><" + tds + ":Service>" +
                  Element(p.tds, "Namespace", std::string(onvif::kDeviceNs)) +
                  Element(p.tds, "XAddr", url) + "<" + tds + ":Version>" +
                  Element(p.tt, "Major", "2") + Element(p.tt, "Minor", "60") + "</" + tds +
                  ":Version></" + tds + ":Service></" + tds + ":GetServicesResponse>";
    }
    answer.body = Envelope(p, content);
    return answer;
}

}  // namespace sim
