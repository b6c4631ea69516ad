#include "discovery/DeviceSources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/markup/CMarkupSTL.h"
#include "common/markup/EntityDecode.h"
#include "common/platform/NetworkPlatform.h"
#include "discovery/SearchAnswer.h"
#include "onvif/Scopes.h"

namespace discovery {
namespace {

// Reads every field, whatever the product series.
constexpr SearchAnswerRules kEveryField{"", true};

template <size_t N>
void Copy(char (&field)[N], const std::string& text) {
    CopyField(field, N, text.data(), text.size());
}

void Note(std::vector<FieldOrigin>* origins, const char* field, const char* origin) {
    if (origins != nullptr) {
        origins->push_back({field, origin});
    }
}

void Element(std::string& out, const char* name, const char* text) {
    out += '<';
    out += name;
    out += '>';
    out += markup::EscapeXml(text);
    out += "</";
    out += name;
    out += '>';
}

void Element(std::string& out, const char* name, int32_t value) {
    Element(out, name, std::to_string(value).c_str());
}

std::string SeriesOf(const std::string& xml) {
    CMarkupSTL doc(xml);
    if (!doc.FindElement("multicastSearchResult")) {
        return std::string();
    }
    doc.EnterElement();
    if (!doc.FindElement("productInfo")) {
        return std::string();
    }
    doc.EnterElement();
    return doc.FindElement("productSeries") ? doc.GetElementText() : std::string();
}

uint32_t AddressOf(const char* text) {
    uint32_t address = 0;
    return platform::ParseIPv4(text, address) ? address : 0;
}

}  // namespace

const char* DeviceSourceName(DeviceSource source) {
    switch (source) {
        case DeviceSource::Ours:
            return "ours";
        case DeviceSource::Onvif:
            return "onvif";
        case DeviceSource::Both:
            return "both";
    }
    return "ours";
}

SEARCH_DEVICE_INFO OnvifRecord(const onvif::OnvifDevice& device, int32_t dataPort,
                               std::vector<FieldOrigin>* origins) {
    SEARCH_DEVICE_INFO record{};
    if (!device.facts.mac.empty()) {
        Copy(record.mac, device.facts.mac);
        Note(origins, "mac", "ONVIF MAC scope");
    }
    const std::string address = platform::FormatIPv4(device.address);
    Copy(record.ip[0], address);
    Copy(record.ip[1], address);
    Note(origins, "ip", device.addressFromSender ? "ONVIF sender address" : "ONVIF XAddrs");
    const std::string mask =
        device.onLocalSubnet ? platform::FormatIPv4(device.localMask) : "255.255.255.0";
    Copy(record.mask[0], mask);
    Copy(record.mask[1], mask);
    Note(origins, "mask",
         device.onLocalSubnet ? "local interface subnet" : "assumed (foreign subnet)");
    record.dataPort = dataPort;
    Note(origins, "data_port", "default data port");
    record.httpPort = device.httpPort;
    Note(origins, "http_port", device.addressFromSender ? "assumed" : "ONVIF XAddrs");
    if (!device.facts.name.empty()) {
        Copy(record.devName, device.facts.name);
        Note(origins, "name", "ONVIF name scope");
    }
    if (!device.facts.hardware.empty()) {
        Copy(record.productModel, device.facts.hardware);
        Note(origins, "model", "ONVIF hardware scope");
    }
    record.build = -1;
    record.deviceActivated = -1;  // not known: shown as nothing
    return record;
}

std::string WriteMergedAnswer(const SEARCH_DEVICE_INFO& record, const std::string& series,
                              DeviceSource source) {
    std::string xml;
    xml.reserve(1024);
    xml += "<multicastSearchResult>";
    Element(xml, "deviceSource", DeviceSourceName(source));
    Element(xml, "deviceMac",
            std::string(record.mac, strnlen(record.mac, sizeof record.mac)).c_str());
    xml += "<productInfo>";
    if (!series.empty()) {
        Element(xml, "productSeries", series.c_str());
    }
    Element(xml, "devName", record.devName);
    Element(xml, "productModel", record.productModel);
    Element(xml, "softwareVer", record.softwareVer);
    Element(xml, "build", record.build);
    Element(xml, "softwareBulildDate", record.softwareBuildDate);
    Element(xml, "kernelVer", record.kernelVer);
    Element(xml, "deviceActivated", record.deviceActivated);
    xml += "</productInfo><tcpIp><ipAddr>";
    for (int i = 0; i < 2; ++i) {
        xml += "<item>";
        Element(xml, "ip", record.ip[i]);
        Element(xml, "mask", record.mask[i]);
        xml += "</item>";
    }
    xml += "</ipAddr></tcpIp><port>";
    Element(xml, "dataPort", record.dataPort);
    Element(xml, "httpPort", record.httpPort);
    xml += "</port></multicastSearchResult>";
    return xml;
}

bool ApplyIdentity(SEARCH_DEVICE_INFO& record, const onvif::DeviceIdentity& identity) {
    if (identity.code != onvif::kIdentifyOk) {
        return false;
    }
    const SEARCH_DEVICE_INFO before = record;
    // Our search's version (with its build number) stands; a camera only
    // ONVIF found has none until now.
    if (record.softwareVer[0] == '\0' && !identity.information.firmwareVersion.empty()) {
        Copy(record.softwareVer, identity.information.firmwareVersion);
        record.build = -1;
    }
    const std::string mac = onvif::NormaliseMac(identity.mac);
    if (record.mac[0] == '\0' && !mac.empty()) {
        Copy(record.mac, mac);
    }
    if (record.productModel[0] == '\0' && !identity.information.model.empty()) {
        Copy(record.productModel, identity.information.model);
    }
    return std::memcmp(&before, &record, sizeof record) != 0;
}

void SourceMerge::Clear() {
    m_entries.clear();
    m_byOurMac.clear();
    m_byEndpoint.clear();
}

SourceMerge::Entry* SourceMerge::FindMatch(const std::string& mac, uint32_t address1,
                                           uint32_t address2, int32_t httpPort, bool wantOurs) {
    for (auto& [key, entry] : m_entries) {
        (void)key;
        if (wantOurs ? (!entry->hasOurs || entry->hasOnvif)
                     : (!entry->hasOnvif || entry->hasOurs)) {
            continue;
        }
        std::string entryMac;
        uint32_t a1 = 0;
        uint32_t a2 = 0;
        int32_t port = 0;
        if (wantOurs) {
            entryMac = onvif::NormaliseMac(entry->ourMac);
            a1 = AddressOf(entry->ourRecord.ip[0]);
            a2 = AddressOf(entry->ourRecord.ip[1]);
            port = entry->ourRecord.httpPort;
        } else {
            entryMac = entry->onvif.facts.mac;
            a1 = a2 = entry->onvif.address;
            port = entry->onvif.httpPort;
        }
        if (!mac.empty() && mac == entryMac) {
            return entry.get();
        }
        const bool sameAddress = (a1 != 0 && (a1 == address1 || a1 == address2)) ||
                                 (a2 != 0 && (a2 == address1 || a2 == address2));
        if (sameAddress && port != 0 && port == httpPort) {
            return entry.get();
        }
    }
    return nullptr;
}

std::optional<MergedReport> SourceMerge::Deliver(Entry& entry) {
    std::string xml;
    if (entry.hasOurs && entry.key == entry.ourMac) {
        xml = entry.ourXml;  // our own answer, as it came
    } else {
        SEARCH_DEVICE_INFO record{};
        std::string series;
        if (entry.hasOurs) {
            record = entry.ourRecord;
            series = entry.ourSeries;
        } else {
            record = OnvifRecord(entry.onvif, m_dataPort);
        }
        if (!entry.ourMac.empty()) {
            Copy(record.mac, entry.ourMac);  // our search told the MAC
        }
        const DeviceSource source =
            entry.hasOurs && entry.hasOnvif
                ? DeviceSource::Both
                : (entry.hasOurs ? DeviceSource::Ours : DeviceSource::Onvif);
        xml = WriteMergedAnswer(record, series, source);
    }
    if (entry.delivered && xml == entry.lastXml) {
        return std::nullopt;
    }
    const int kind = entry.delivered ? kReportAnswerChanged : kReportAnswer;
    entry.delivered = true;
    entry.lastXml = xml;
    return MergedReport{entry.key, kind, std::move(xml)};
}

std::optional<MergedReport> SourceMerge::Remove(Entry& entry) {
    std::optional<MergedReport> out;
    if (entry.delivered) {
        out = MergedReport{entry.key, kReportGone, entry.lastXml};
    }
    if (entry.hasOurs || !entry.ourMac.empty()) {
        m_byOurMac.erase(entry.ourMac);
    }
    if (!entry.onvif.endpoint.empty()) {
        m_byEndpoint.erase(entry.onvif.endpoint);
    }
    const std::string key = entry.key;
    m_entries.erase(key);  // entry is gone from here on
    return out;
}

std::optional<MergedReport> SourceMerge::OnOurs(const std::string& mac, int kind,
                                                const std::string& xml) {
    auto known = m_byOurMac.find(mac);
    Entry* entry = known == m_byOurMac.end() ? nullptr : m_entries.at(known->second).get();
    if (kind == kReportGone) {
        if (entry == nullptr || !entry->hasOurs) {
            return std::nullopt;
        }
        entry->hasOurs = false;
        return entry->hasOnvif ? Deliver(*entry) : Remove(*entry);
    }
    if (kind != kReportAnswer && kind != kReportAnswerChanged) {
        return std::nullopt;
    }
    SearchReport parsed = ParseSearchAnswer(mac.c_str(), kReportAnswer, xml.c_str(), kEveryField);
    if (parsed.type != SearchReport::Type::Device) {
        return std::nullopt;  // not an answer any program would take
    }
    if (entry == nullptr) {
        entry = FindMatch(onvif::NormaliseMac(mac), AddressOf(parsed.device->ip[0]),
                          AddressOf(parsed.device->ip[1]), parsed.device->httpPort, false);
    }
    if (entry == nullptr) {
        auto added = std::make_unique<Entry>();
        added->key = mac;
        entry = added.get();
        m_entries.emplace(mac, std::move(added));
    }
    entry->hasOurs = true;
    entry->ourMac = mac;
    entry->ourXml = xml;
    entry->ourRecord = *parsed.device;
    entry->ourSeries = SeriesOf(xml);
    m_byOurMac[mac] = entry->key;
    return Deliver(*entry);
}

std::optional<MergedReport> SourceMerge::OnOnvif(int kind, const onvif::OnvifDevice& device) {
    auto known = m_byEndpoint.find(device.endpoint);
    Entry* entry = known == m_byEndpoint.end() ? nullptr : m_entries.at(known->second).get();
    if (kind == kReportGone) {
        if (entry == nullptr) {
            return std::nullopt;
        }
        entry->hasOnvif = false;
        m_byEndpoint.erase(device.endpoint);
        entry->onvif = onvif::OnvifDevice();
        return entry->hasOurs ? Deliver(*entry) : Remove(*entry);
    }
    if (entry == nullptr) {
        entry = FindMatch(device.facts.mac, device.address, device.address, device.httpPort, true);
    }
    if (entry == nullptr) {
        if (m_entries.count(device.endpoint) != 0) {
            return std::nullopt;  // an endpoint that spells some device's MAC text: not ours to mix
        }
        auto added = std::make_unique<Entry>();
        added->key = device.endpoint;
        entry = added.get();
        m_entries.emplace(device.endpoint, std::move(added));
    }
    entry->hasOnvif = true;
    entry->onvif = device;
    m_byEndpoint[device.endpoint] = entry->key;
    return Deliver(*entry);
}

DeviceSideRecord SourceMerge::Side(const Entry& entry) const {
    DeviceSideRecord side;
    side.key = entry.key;
    side.source = entry.hasOurs && entry.hasOnvif
                      ? DeviceSource::Both
                      : (entry.hasOurs ? DeviceSource::Ours : DeviceSource::Onvif);
    side.ourMac = entry.ourMac;
    side.hasOnvif = entry.hasOnvif;
    side.onvif = entry.onvif;
    if (entry.hasOurs) {
        for (const char* field :
             {"mac", "ip", "mask", "data_port", "http_port", "name", "model", "software_version"}) {
            side.origins.push_back({field, "search answer"});
        }
    } else {
        OnvifRecord(entry.onvif, m_dataPort, &side.origins);
        if (!entry.ourMac.empty()) {
            side.origins.erase(
                std::remove_if(side.origins.begin(), side.origins.end(),
                               [](const FieldOrigin& o) { return o.field == "mac"; }),
                side.origins.end());
            side.origins.push_back({"mac", "search answer"});
        }
    }
    return side;
}

std::vector<std::string> SourceMerge::Keys() const {
    std::vector<std::string> keys;
    for (const auto& [key, entry] : m_entries) {
        (void)entry;
        keys.push_back(key);
    }
    return keys;
}

bool SourceMerge::SideRecord(const std::string& key, DeviceSideRecord& out) const {
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        return false;
    }
    out = Side(*it->second);
    return true;
}

}  // namespace discovery
