#include "sim/SearchAnswerXml.h"

#include "common/markup/EntityDecode.h"

namespace sim {

void AppendXmlElement(std::string& out, const char* name, const std::string& text) {
    out += '<';
    out += name;
    out += '>';
    out += XmlEscape(text);
    out += "</";
    out += name;
    out += '>';
}

std::string XmlEscape(const std::string& text) {
    return markup::EscapeXml(text);
}

std::string BuildSearchAnswer(const DeviceIdentity& id, uint16_t boundDataPort) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><productInfo>";
    AppendXmlElement(xml, "devName", id.devName);
    AppendXmlElement(xml, "productModel", id.productModel);
    AppendXmlElement(xml, "productSeries", id.productSeries);
    AppendXmlElement(xml, "softwareVer", id.softwareVer);
    AppendXmlElement(xml, "build", std::to_string(id.build));
    // The devices spell this element so; the programs look for it by this name.
    AppendXmlElement(xml, "softwareBulildDate", id.buildDate);
    AppendXmlElement(xml, "kernelVer", id.kernelVer);
    AppendXmlElement(xml, "deviceActivated", std::to_string(id.deviceActivated));
    xml += "</productInfo><tcpIp><ipAddr>";
    for (int i = 0; i < 2; ++i) {
        xml += "<item>";
        AppendXmlElement(xml, "ip", id.ip[i]);
        AppendXmlElement(xml, "mask", id.mask[i]);
        xml += "</item>";
    }
    xml += "</ipAddr></tcpIp><port>";
    AppendXmlElement(xml, "dataPort", std::to_string(boundDataPort));
    AppendXmlElement(xml, "httpPort", std::to_string(id.httpPort));
    xml += "</port></multicastSearchResult>";
    return xml;
}

}  // namespace sim
