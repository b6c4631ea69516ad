#include "discovery/SearchAnswer.h"

#include <climits>
#include <cstring>
#include <string>

#include "common/markup/CMarkupSTL.h"

namespace discovery {
namespace {

template <size_t N>
void CopyText(char (&field)[N], const std::string& text) {
    CopyField(field, N, text.data(), text.size());
}

// The product-series test; an answer without "productInfo" or
// "productSeries" passes. Leaves the cursor at the first child of the root.
bool SeriesPasses(CMarkupSTL& doc, const SearchAnswerRules& rules) {
    bool passes = true;
    if (doc.FindElement("productInfo")) {
        doc.EnterElement();
        if (doc.FindElement("productSeries")) {
            const std::string series = doc.GetElementText();
            passes = series.find(rules.seriesNeedle) != std::string::npos;
        }
        doc.LeaveElement();
        doc.ResetMainPosition();
    }
    return passes;
}

void ReadAddressItem(CMarkupSTL& doc, SEARCH_DEVICE_INFO& info, int index) {
    if (doc.FindChildElement("ip")) {
        CopyText(info.ip[index], doc.GetChildElementText());
    }
    doc.ResetChildPosition();
    if (doc.FindChildElement("mask")) {
        CopyText(info.mask[index], doc.GetChildElementText());
    }
    doc.ResetChildPosition();
}

void ReadAddresses(CMarkupSTL& doc, SEARCH_DEVICE_INFO& info) {
    if (!doc.FindElement("tcpIp")) {
        return;
    }
    doc.EnterElement();
    if (doc.FindElement("ipAddr")) {
        doc.EnterElement();
        // The first two "item" siblings; a third or later is not read.
        if (doc.FindElement("item")) {
            ReadAddressItem(doc, info, 0);
            if (doc.FindElement("item")) {
                ReadAddressItem(doc, info, 1);
            }
        }
        doc.LeaveElement();
        doc.ResetMainPosition();
    }
    doc.LeaveElement();
    doc.ResetMainPosition();
}

void ReadPorts(CMarkupSTL& doc, SEARCH_DEVICE_INFO& info) {
    if (!doc.FindElement("port")) {
        return;
    }
    doc.EnterElement();
    if (doc.FindElement("dataPort")) {
        info.dataPort = LeadingInt(doc.GetElementText().c_str());
    }
    doc.ResetMainPosition();
    if (doc.FindElement("httpPort")) {
        info.httpPort = LeadingInt(doc.GetElementText().c_str());
    }
    doc.ResetMainPosition();
    doc.LeaveElement();
    doc.ResetMainPosition();
}

void ReadProductInfo(CMarkupSTL& doc, SEARCH_DEVICE_INFO& info, const SearchAnswerRules& rules) {
    if (!doc.FindElement("productInfo")) {
        return;
    }
    doc.EnterElement();
    info.build = -1;
    // Each child is looked up from the first, so their order does not matter.
    auto text = [&doc](const char* name, auto& field) {
        if (doc.FindElement(name)) {
            CopyText(field, doc.GetElementText());
            doc.ResetMainPosition();
        }
    };
    auto number = [&doc](const char* name, int32_t& value) {
        if (doc.FindElement(name)) {
            value = LeadingInt(doc.GetElementText().c_str());
            doc.ResetMainPosition();
        }
    };
    text("devName", info.devName);
    text("productModel", info.productModel);
    text("softwareVer", info.softwareVer);
    if (rules.readBuildDetails) {
        text("softwareBulildDate", info.softwareBuildDate);
        text("kernelVer", info.kernelVer);
        number("deviceActivated", info.deviceActivated);
    }
    number("build", info.build);
    doc.LeaveElement();
    doc.ResetMainPosition();
}

}  // namespace

void CopyField(char* field, size_t capacity, const char* text, size_t length) {
    if (capacity == 0) {
        return;
    }
    size_t n = length < capacity - 1 ? length : capacity - 1;
    if (n < length) {
        // When the cut falls inside a UTF-8 sequence, cut before its lead
        // byte instead. A sequence has at most three continuation bytes;
        // text that is not UTF-8 is cut where it is.
        size_t k = n;
        while (k > 0 && n - k < 3 && (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80) {
            --k;
        }
        if (k < n && (static_cast<unsigned char>(text[k]) & 0xC0) == 0xC0) {
            n = k;
        }
    }
    std::memcpy(field, text, n);
    std::memset(field + n, 0, capacity - n);
}

int32_t LeadingInt(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) {
            value = static_cast<int64_t>(INT32_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

SearchReport ParseSearchAnswer(const char* mac, int kind, const char* answer,
                               const SearchAnswerRules& rules) {
    SearchReport report;
    if (kind != kReportAnswer && kind != kReportGone && kind != kReportAnswerChanged) {
        return report;
    }
    if (mac == nullptr) {
        mac = "";
    }
    const size_t macLength = strnlen(mac, kMacTextMax);
    const char* text = answer != nullptr ? answer : "";

    CMarkupSTL doc(text, std::strlen(text));
    if (!doc.FindElement("multicastSearchResult")) {
        return report;
    }
    doc.EnterElement();
    if (!SeriesPasses(doc, rules)) {
        return report;
    }

    report.key.assign(mac, strnlen(mac, kDeviceKeyMax));
    // An answer discovery wrote for a device ONVIF found carries its MAC
    // (when known) apart from the key.
    doc.ResetMainPosition();
    const bool merged = doc.FindElement("deviceSource");
    doc.ResetMainPosition();
    std::string deviceMac;
    if (merged && doc.FindElement("deviceMac")) {
        deviceMac = doc.GetElementText();
    }
    doc.ResetMainPosition();
    const char* macText = merged ? deviceMac.c_str() : mac;
    const size_t macTextLength = merged ? strnlen(macText, kMacTextMax) : macLength;

    if (kind == kReportGone) {
        report.type = SearchReport::Type::Gone;
        if (macTextLength > 0) {
            report.goneMac.reset(new char[kGoneMacBlockSize]());
            std::memcpy(report.goneMac.get(), macText, macTextLength);
        }
        return report;
    }

    auto info = std::make_unique<SEARCH_DEVICE_INFO>();  // value-initialised: all zero
    std::memcpy(info->mac, macText, macTextLength);
    ReadAddresses(doc, *info);
    ReadPorts(doc, *info);
    ReadProductInfo(doc, *info, rules);
    report.type = SearchReport::Type::Device;
    report.device = std::move(info);
    return report;
}

}  // namespace discovery
