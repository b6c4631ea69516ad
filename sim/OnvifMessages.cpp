#include "sim/OnvifMessages.h"

#include <cctype>
#include <cstdio>

#include "common/markup/EntityDecode.h"
#include "onvif/OnvifNames.h"

namespace sim {
namespace {

struct Style {
    const char* env;
    const char* wsa;
    const char* wsd;
    const char* nvt;
    const char* tds;
};

const Style& StyleOf(int style) {
    static const Style kStyles[2] = {{"s", "a", "d", "dn", "tds"},
                                     {"SOAP-ENV", "wsa", "wsdd", "ns1", "ns2"}};
    return kStyles[style == 1 ? 1 : 0];
}

std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text += markup::EscapeXml(item);
    }
    return text;
}

// Envelope start and header, up to the body's content.
std::string Head(const Style& s, int style, const std::string& action, const std::string& messageId,
                 const std::string& relatesTo, const std::string& to, const std::string& sequence) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><";
    x += s.env;
    x += ":Envelope xmlns:";
    x += s.env;
    x += "=\"" + std::string(onvif::kSoap12Ns) + "\" xmlns:" + s.wsa + "=\"" +
         std::string(onvif::kAddressingNs) + "\" xmlns:" + s.wsd + "=\"" +
         std::string(onvif::kDiscoveryNs) + "\"";
    if (style == 1) {
        x += " xmlns:" + std::string(s.nvt) + "=\"" + std::string(onvif::kNetworkNs) +
             "\" xmlns:" + s.tds + "=\"" + std::string(onvif::kDeviceNs) + "\"";
    }
    x += "><" + std::string(s.env) + ":Header><" + s.wsa + ":MessageID>" + messageId + "</" +
         s.wsa + ":MessageID>";
    if (!relatesTo.empty()) {
        x += "<" + std::string(s.wsa) + ":RelatesTo>" + markup::EscapeXml(relatesTo) + "</" +
             s.wsa + ":RelatesTo>";
    }
    x += "<" + std::string(s.wsa) + ":To>" + to + "</" + s.wsa + ":To><" + s.wsa + ":Action>" +
         action + "</" + s.wsa + ":Action>" + sequence + "</" + s.env + ":Header><" + s.env +
         ":Body>";
    return x;
}

std::string Tail(const Style& s) {
    return "</" + std::string(s.env) + ":Body></" + s.env + ":Envelope>";
}

std::string TargetBody(const Style& s, int style, const OnvifTarget& t, bool withDetails) {
    std::string x = "<" + std::string(s.wsa) + ":EndpointReference><" + s.wsa + ":Address>" +
                    markup::EscapeXml(t.endpoint) + "</" + s.wsa + ":Address></" + s.wsa +
                    ":EndpointReference>";
    if (!withDetails) {
        return x;
    }
    std::string types;
    if (t.nvt) {
        types += std::string(s.nvt) + ":NetworkVideoTransmitter";
    }
    if (t.device) {
        types += std::string(types.empty() ? "" : " ") + s.tds + ":Device";
    }
    x += "<" + std::string(s.wsd) + ":Types";
    if (style == 0) {
        x += " xmlns:" + std::string(s.nvt) + "=\"" + std::string(onvif::kNetworkNs) +
             "\" xmlns:" + s.tds + "=\"" + std::string(onvif::kDeviceNs) + "\"";
    }
    x += ">" + types + "</" + s.wsd + ":Types>";
    x += "<" + std::string(s.wsd) + ":Scopes>" + Join(t.scopes) + "</" + s.wsd + ":Scopes>";
    x += "<" + std::string(s.wsd) + ":XAddrs>" + markup::EscapeXml(t.xaddr) + "</" + s.wsd +
         ":XAddrs>";
    x += "<" + std::string(s.wsd) + ":MetadataVersion>" + std::to_string(t.metadataVersion) + "</" +
         s.wsd + ":MetadataVersion>";
    return x;
}

std::string Sequence(const Style& s, uint32_t instanceId, uint32_t messageNumber) {
    return "<" + std::string(s.wsd) + ":AppSequence InstanceId=\"" + std::to_string(instanceId) +
           "\" MessageNumber=\"" + std::to_string(messageNumber) + "\"/>";
}

}  // namespace

std::string PercentEncode(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

OnvifTarget TargetOf(const DeviceConfig& config, uint16_t httpPort, size_t index) {
    const OnvifSettings& o = config.onvif;
    OnvifTarget t;
    t.endpoint = o.endpoint;
    t.nvt = o.answerNvt;
    t.device = o.answerDevice;
    t.style = static_cast<int>(index % 2);
    t.scopes = {"onvif://www.onvif.org/type/video_encoder",
                "onvif://www.onvif.org/Profile/Streaming",
                "onvif://www.onvif.org/name/" + PercentEncode(config.identity.devName),
                "onvif://www.onvif.org/hardware/" + PercentEncode(config.identity.productModel),
                "onvif://www.onvif.org/location/country/camsim"};
    if (!o.macScope.empty()) {
        std::string mac;
        for (char c : config.identity.mac) {
            if (std::isxdigit(static_cast<unsigned char>(c))) {
                if (!mac.empty() && mac.size() % (2 + o.macSeparator.size()) == 2) {
                    mac += o.macSeparator;
                }
                mac.push_back(c);
            }
        }
        t.scopes.push_back("onvif://www.onvif.org/" + o.macScope + "/" + mac);
    }
    for (const std::string& extra : o.extraScopes) {
        t.scopes.push_back(extra);
    }
    t.xaddr = "http://" + config.identity.listenAddress + ":" + std::to_string(httpPort) +
              "/onvif/device_service";
    return t;
}

bool ProbeMatches(const OnvifTarget& target, const std::vector<onvif::QName>& types) {
    for (const onvif::QName& type : types) {
        const bool nvt = type == onvif::NetworkVideoTransmitterType();
        const bool device = type == onvif::DeviceType();
        if (!(nvt && target.nvt) && !(device && target.device)) {
            return false;
        }
    }
    return true;
}

std::string BuildProbeMatch(const OnvifTarget& target, const std::string& relatesTo) {
    const Style& s = StyleOf(target.style);
    return Head(s, target.style, std::string(onvif::kProbeMatchesAction), onvif::NewMessageId(),
                relatesTo, std::string(onvif::kAnonymous), "") +
           "<" + s.wsd + ":ProbeMatches><" + s.wsd + ":ProbeMatch>" +
           TargetBody(s, target.style, target, true) + "</" + s.wsd + ":ProbeMatch></" + s.wsd +
           ":ProbeMatches>" + Tail(s);
}

std::string BuildHello(const OnvifTarget& target, const std::string& messageId, uint32_t instanceId,
                       uint32_t messageNumber) {
    const Style& s = StyleOf(target.style);
    return Head(s, target.style, std::string(onvif::kHelloAction), messageId, "",
                std::string(onvif::kDiscoveryTo), Sequence(s, instanceId, messageNumber)) +
           "<" + s.wsd + ":Hello>" + TargetBody(s, target.style, target, true) + "</" + s.wsd +
           ":Hello>" + Tail(s);
}

std::string BuildBye(const OnvifTarget& target, const std::string& messageId, uint32_t instanceId,
                     uint32_t messageNumber) {
    const Style& s = StyleOf(target.style);
    return Head(s, target.style, std::string(onvif::kByeAction), messageId, "",
                std::string(onvif::kDiscoveryTo), Sequence(s, instanceId, messageNumber)) +
           "<" + s.wsd + ":Bye>" + TargetBody(s, target.style, target, false) + "</" + s.wsd +
           ":Bye>" + Tail(s);
}

std::string BuildProbeFault(const std::string& relatesTo) {
    const Style& s = StyleOf(1);
    return Head(s, 1, "http://schemas.xmlsoap.org/ws/2004/08/addressing/fault",
                onvif::NewMessageId(), relatesTo, std::string(onvif::kAnonymous), "") +
           "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value></"
           "SOAP-ENV:Code>"
           "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">AppSequence is not expected "
           "here</SOAP-ENV:Text>"
           "</SOAP-ENV:Reason></SOAP-ENV:Fault>" +
           Tail(s);
}

}  // namespace sim
