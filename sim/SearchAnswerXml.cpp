#include "sim/SearchAnswerXml.h"

namespace sim {

namespace {

void Element(std::string& out, const char* name, const std::string& text) {
    out += '<';
    out += name;
    out += '>';
    out += XmlEscape(text);
    out += "</";
    out += name;
    out += '>';
}

}  // namespace

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string BuildSearchAnswer(const DeviceIdentity& id, uint16_t boundDataPort) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><productInfo>";
    Element(xml, "devName", id.devName);
    Element(xml, "productModel", id.productModel);
    Element(xml, "productSeries", id.productSeries);
    Element(xml, "softwareVer", id.softwareVer);
    Element(xml, "build", std::to_string(id.build));
    // The devices spell this element so; the programs look for it by this name.
    Element(xml, "softwareBulildDate", id.buildDate);
    Element(xml, "kernelVer", id.kernelVer);
    Element(xml, "deviceActivated", std::to_string(id.deviceActivated));
    xml += "</productInfo><tcpIp><ipAddr>";
    for (int i = 0; i < 2; ++i) {
        xml += "<item>";
        Element(xml, "ip", id.ip[i]);
        Element(xml, "mask", id.mask[i]);
        xml += "</item>";
    }
    xml += "</ipAddr></tcpIp><port>";
    Element(xml, "dataPort", std::to_string(boundDataPort));
    Element(xml, "httpPort", std::to_string(id.httpPort));
    xml += "</port></multicastSearchResult>";
    return xml;
}

}  // namespace sim
