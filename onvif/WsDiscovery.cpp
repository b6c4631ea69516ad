#include "onvif/WsDiscovery.h"

#include <array>
#include <charconv>
#include <random>

#include "common/crypto/Digest.h"
#include "common/markup/XmlNsDocument.h"
#include "onvif/OnvifNames.h"

namespace onvif {
namespace {

using markup::XmlElement;
using markup::XmlNsDocument;

std::string TrimmedText(const XmlElement* element) {
    return element == nullptr ? std::string() : std::string(markup::TrimXmlSpace(element->text));
}

// The items of a white-space separated list, each within the limits.
bool ReadList(const XmlElement* element, const DiscoveryLimits& limits,
              std::vector<std::string_view>& items) {
    items.clear();
    if (element == nullptr) {
        return true;
    }
    items = markup::SplitXmlList(element->text);
    if (items.size() > limits.maxListItems) {
        return false;
    }
    for (std::string_view item : items) {
        if (item.size() > limits.maxItemLength) {
            return false;
        }
    }
    return true;
}

bool ReadTypes(const XmlNsDocument& doc, const XmlElement* types, const DiscoveryLimits& limits,
               std::vector<QName>& out, bool& unresolved) {
    std::vector<std::string_view> items;
    if (!ReadList(types, limits, items)) {
        return false;
    }
    for (std::string_view item : items) {
        QName name;
        if (doc.ResolveQName(*types, item, name.ns, name.local)) {
            out.push_back(std::move(name));
        } else {
            unresolved = true;
        }
    }
    return true;
}

// One ProbeMatch, Hello or Bye body; false when it breaks a limit or has no endpoint.
bool ReadTarget(const XmlNsDocument& doc, const XmlElement& body, const DiscoveryLimits& limits,
                DiscoveryTarget& target) {
    const XmlElement* reference = doc.Child(body, kAddressingNs, "EndpointReference");
    target.endpoint = reference == nullptr
                          ? std::string()
                          : TrimmedText(doc.Child(*reference, kAddressingNs, "Address"));
    if (target.endpoint.empty() || target.endpoint.size() > limits.maxEndpointLength) {
        return false;
    }
    bool unresolved = false;
    if (!ReadTypes(doc, doc.Child(body, kDiscoveryNs, "Types"), limits, target.types, unresolved)) {
        return false;
    }
    std::vector<std::string_view> items;
    if (!ReadList(doc.Child(body, kDiscoveryNs, "Scopes"), limits, items)) {
        return false;
    }
    target.scopes.assign(items.begin(), items.end());
    if (!ReadList(doc.Child(body, kDiscoveryNs, "XAddrs"), limits, items)) {
        return false;
    }
    target.xaddrs.assign(items.begin(), items.end());
    const std::string version = TrimmedText(doc.Child(body, kDiscoveryNs, "MetadataVersion"));
    uint32_t value = 0;
    const auto parsed = std::from_chars(version.data(), version.data() + version.size(), value);
    target.metadataVersion =
        (parsed.ec == std::errc() && parsed.ptr == version.data() + version.size()) ? value : 0;
    return true;
}

// Hello or Bye: an announcement of one target, read as a probe match is.
const XmlElement* Announcement(const XmlNsDocument& doc, const XmlElement& body,
                               DiscoveryMessage::Kind& kind) {
    if (const XmlElement* hello = doc.Child(body, kDiscoveryNs, "Hello")) {
        kind = DiscoveryMessage::Kind::Hello;
        return hello;
    }
    kind = DiscoveryMessage::Kind::Bye;
    return doc.Child(body, kDiscoveryNs, "Bye");
}

}  // namespace

QName NetworkVideoTransmitterType() {
    return {std::string(kNetworkNs), "NetworkVideoTransmitter"};
}

QName DeviceType() {
    return {std::string(kDeviceNs), "Device"};
}

DiscoveryMessage ParseDiscoveryMessage(std::string_view datagram, const DiscoveryLimits& limits) {
    DiscoveryMessage message;
    XmlNsDocument doc;
    markup::XmlLimits xmlLimits;
    xmlLimits.maxBytes = limits.maxDatagram;
    if (!doc.Parse(datagram, xmlLimits)) {
        return message;
    }
    const XmlElement& root = *doc.Root();
    std::string_view soap;
    if (root.local == "Envelope" && root.ns == kSoap12Ns) {
        soap = kSoap12Ns;
    } else if (root.local == "Envelope" && root.ns == kSoap11Ns) {
        soap = kSoap11Ns;
        message.soap11 = true;
    } else {
        return message;
    }
    const XmlElement* header = doc.Child(root, soap, "Header");
    const XmlElement* body = doc.Child(root, soap, "Body");
    if (body == nullptr) {
        return message;
    }
    if (header != nullptr) {
        message.messageId = TrimmedText(doc.Child(*header, kAddressingNs, "MessageID"));
        message.relatesTo = TrimmedText(doc.Child(*header, kAddressingNs, "RelatesTo"));
        if (message.messageId.size() > limits.maxItemLength ||
            message.relatesTo.size() > limits.maxItemLength) {
            message.messageId.clear();
            message.relatesTo.clear();
            return message;
        }
    }
    DiscoveryMessage::Kind kind = DiscoveryMessage::Kind::Other;
    DiscoveryMessage::Kind announced = DiscoveryMessage::Kind::Other;
    if (doc.Child(*body, soap, "Fault") != nullptr) {
        message.kind = DiscoveryMessage::Kind::Fault;
        return message;
    }
    if (const XmlElement* matches = doc.Child(*body, kDiscoveryNs, "ProbeMatches")) {
        const auto list = doc.Children(*matches, kDiscoveryNs, "ProbeMatch");
        if (list.size() > limits.maxTargets) {
            return message;
        }
        for (const XmlElement* match : list) {
            DiscoveryTarget target;
            if (ReadTarget(doc, *match, limits, target)) {
                message.targets.push_back(std::move(target));
            }
        }
        kind = DiscoveryMessage::Kind::ProbeMatches;
    } else if (const XmlElement* announcement = Announcement(doc, *body, announced)) {
        DiscoveryTarget target;
        if (!ReadTarget(doc, *announcement, limits, target)) {
            return message;
        }
        message.targets.push_back(std::move(target));
        kind = announced;
    } else if (const XmlElement* probe = doc.Child(*body, kDiscoveryNs, "Probe")) {
        if (!ReadTypes(doc, doc.Child(*probe, kDiscoveryNs, "Types"), limits, message.probeTypes,
                       message.probeTypesUnresolved)) {
            return message;
        }
        kind = DiscoveryMessage::Kind::Probe;
    }
    message.kind = kind;
    return message;
}

bool IsCamera(const DiscoveryTarget& target) {
    const QName nvt = NetworkVideoTransmitterType();
    const QName device = DeviceType();
    for (const QName& type : target.types) {
        if (type == nvt || type == device) {
            return true;
        }
    }
    return false;
}

std::string BuildProbe(const std::string& messageId, const QName& type) {
    const char* prefix = type.ns == kDeviceNs ? "tds" : "dn";
    std::string text;
    text.reserve(1024);
    text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    text += "<s:Envelope xmlns:s=\"";
    text += kSoap12Ns;
    text += "\" xmlns:a=\"";
    text += kAddressingNs;
    text += "\" xmlns:d=\"";
    text += kDiscoveryNs;
    text += "\"><s:Header><a:Action s:mustUnderstand=\"1\">";
    text += kProbeAction;
    text += "</a:Action><a:MessageID>";
    text += messageId;
    text += "</a:MessageID><a:ReplyTo><a:Address>";
    text += kAnonymous;
    text += "</a:Address></a:ReplyTo><a:To s:mustUnderstand=\"1\">";
    text += kDiscoveryTo;
    text += "</a:To></s:Header><s:Body><d:Probe><d:Types xmlns:";
    text += prefix;
    text += "=\"";
    text += type.ns;
    text += "\">";
    text += prefix;
    text += ":";
    text += type.local;
    text += "</d:Types></d:Probe></s:Body></s:Envelope>";
    return text;
}

std::string NewMessageId() {
    std::array<uint8_t, 16> bytes{};
    if (!crypto::RandomBytes(bytes)) {
        std::random_device device;
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(device());
        }
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the variant
    const std::string hex = crypto::HexText(bytes);
    return "urn:uuid:" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

}  // namespace onvif
