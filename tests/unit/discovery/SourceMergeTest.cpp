// Two searches, one row per device: what the program's callback receives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/platform/NetworkPlatform.h"
#include "discovery/DeviceSources.h"
#include "discovery/SearchAnswer.h"

namespace {

using discovery::SearchReport;

uint32_t Ip(const char* text) {
    uint32_t a = 0;
    platform::ParseIPv4(text, a);
    return a;
}

std::string OurAnswer(const char* ip, int httpPort) {
    return std::string(
               "<multicastSearchResult><productInfo><productSeries>KMX_IPC</productSeries>"
               "<devName>ours</devName><productModel>IPC-9</productModel><softwareVer>4.1.2.3</"
               "softwareVer>"
               "<build>7</build><deviceActivated>0</deviceActivated></"
               "productInfo><tcpIp><ipAddr><item><ip>") +
           ip +
           "</ip><mask>255.255.255.0</mask></item></ipAddr></tcpIp><port><dataPort>9100</"
           "dataPort><httpPort>" +
           std::to_string(httpPort) + "</httpPort></port></multicastSearchResult>";
}

onvif::OnvifDevice Camera(const char* endpoint, const char* mac, const char* ip, uint16_t port) {
    onvif::OnvifDevice d;
    d.endpoint = endpoint;
    d.facts.name = "Gate & Yard";
    d.facts.hardware = "NVT-1";
    d.facts.mac = mac;
    d.address = Ip(ip);
    d.httpPort = port;
    d.deviceService = std::string("http://") + ip + "/onvif/device_service";
    d.localAddress = Ip("10.1.0.1");
    d.localMask = Ip("255.255.255.0");
    d.onLocalSubnet = true;
    return d;
}

SearchReport Parse(const discovery::MergedReport& r) {
    return discovery::ParseSearchAnswer(r.key.c_str(), r.kind, r.xml.c_str(),
                                        discovery::kFwbatchRules);
}

TEST(SourceMerge, OurOwnDevicesPassAsTheSearchGivesThem) {
    discovery::SourceMerge merge;
    const std::string xml = OurAnswer("10.1.0.7", 80);
    const auto r = merge.OnOurs("48:EA:63:00:00:07", 1, xml);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->key, "48:EA:63:00:00:07");
    EXPECT_EQ(r->xml, xml);
    EXPECT_FALSE(merge.OnOurs("48:EA:63:00:00:07", 3, xml)) << "nothing new";
    const auto gone = merge.OnOurs("48:EA:63:00:00:07", 2, xml);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->kind, 2);
    EXPECT_EQ(merge.Size(), 0u);
}

TEST(SourceMerge, AnOnvifCameraIsARecordWhoseKeyIsNotItsMac) {
    struct Case {
        const char* mac;
        const char* expectedMac;
    } cases[] = {{"02:00:00:00:00:01", "02:00:00:00:00:01"}, {"", ""}};
    for (const Case& c : cases) {
        discovery::SourceMerge merge(9200);
        const auto r = merge.OnOnvif(1, Camera("urn:uuid:cam", c.mac, "10.1.0.5", 8080));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->key, "urn:uuid:cam");
        const SearchReport parsed = Parse(*r);
        ASSERT_EQ(parsed.type, SearchReport::Type::Device);
        EXPECT_EQ(parsed.key, "urn:uuid:cam");
        EXPECT_STREQ(parsed.device->mac, c.expectedMac);
        EXPECT_STREQ(parsed.device->devName, "Gate & Yard");
        EXPECT_STREQ(parsed.device->productModel, "NVT-1");
        EXPECT_STREQ(parsed.device->ip[1], "10.1.0.5");
        EXPECT_STREQ(parsed.device->mask[1], "255.255.255.0");
        EXPECT_EQ(parsed.device->dataPort, 9200);
        EXPECT_EQ(parsed.device->httpPort, 8080);
        EXPECT_EQ(parsed.device->build, -1);
        EXPECT_EQ(parsed.device->deviceActivated, -1) << "no activation state is shown";
        discovery::DeviceSideRecord side;
        ASSERT_TRUE(merge.SideRecord("urn:uuid:cam", side));
        EXPECT_EQ(side.source, discovery::DeviceSource::Onvif);
        EXPECT_EQ(side.onvif.deviceService, "http://10.1.0.5/onvif/device_service");
        const auto gone = merge.OnOnvif(2, Camera("urn:uuid:cam", c.mac, "10.1.0.5", 8080));
        ASSERT_TRUE(gone);
        const SearchReport parsedGone = Parse(*gone);
        EXPECT_EQ(parsedGone.type, SearchReport::Type::Gone);
        EXPECT_EQ(parsedGone.key, "urn:uuid:cam");
        EXPECT_EQ(parsedGone.goneMac != nullptr, c.mac[0] != '\0') << "no MAC, no MAC block";
    }
}

TEST(SourceMerge, ADeviceBothSearchesFindIsOneDevice) {
    // Same MAC in either spelling, or same address and HTTP port; either search first.
    struct Case {
        const char* scopeMac;
        const char* ip;
        uint16_t port;
        bool onvifFirst;
    } cases[] = {{"48:EA:63:00:00:07", "10.1.0.99", 1, false},
                 {"48:EA:63:00:00:07", "10.1.0.99", 1, true},
                 {"", "10.1.0.7", 80, false},
                 {"", "10.1.0.7", 80, true}};
    for (const Case& c : cases) {
        discovery::SourceMerge merge;
        const std::string xml = OurAnswer("10.1.0.7", 80);
        const auto cam = Camera("urn:uuid:both", c.scopeMac, c.ip, c.port);
        std::optional<discovery::MergedReport> first =
            c.onvifFirst ? merge.OnOnvif(1, cam) : merge.OnOurs("48-ea-63-00-00-07", 1, xml);
        std::optional<discovery::MergedReport> second =
            c.onvifFirst ? merge.OnOurs("48-ea-63-00-00-07", 1, xml) : merge.OnOnvif(1, cam);
        EXPECT_EQ(merge.Size(), 1u) << c.ip << c.onvifFirst;
        ASSERT_TRUE(first);
        EXPECT_EQ(first->kind, 1);
        if (second) {
            EXPECT_EQ(second->kind, 3);
            EXPECT_EQ(second->key, first->key);
            const SearchReport parsed = Parse(*second);
            EXPECT_STREQ(parsed.device->mac, "48-ea-63-00-00-07") << "our search's MAC text";
            EXPECT_EQ(parsed.device->dataPort, 9100) << "our search's data port";
        }
        discovery::DeviceSideRecord side;
        ASSERT_TRUE(merge.SideRecord(first->key, side));
        EXPECT_EQ(side.source, discovery::DeviceSource::Both);
        // Gone only when both searches lost it.
        EXPECT_FALSE(merge.OnOurs("48-ea-63-00-00-07", 2, xml) && merge.Size() == 0);
        const auto end = merge.OnOnvif(2, cam);
        ASSERT_TRUE(end);
        EXPECT_EQ(end->kind, 2);
        EXPECT_EQ(merge.Size(), 0u);
    }
}

TEST(SourceMerge, IdentityFillsVersionAndAMissingMac) {
    SEARCH_DEVICE_INFO record =
        discovery::OnvifRecord(Camera("urn:uuid:x", "", "10.1.0.5", 80), 9008);
    onvif::DeviceIdentity id;
    id.code = onvif::kIdentifyOk;
    id.information.firmwareVersion = "V5.7.3 build 240101 and a long tail";
    id.information.model = "ignored: the scope named it";
    id.mac = "00-11-22-aa-bb-cc";
    EXPECT_TRUE(discovery::ApplyIdentity(record, id));
    EXPECT_STREQ(record.softwareVer, "V5.7.3 build 240101");
    EXPECT_STREQ(record.mac, "00:11:22:AA:BB:CC");
    EXPECT_STREQ(record.productModel, "NVT-1");
    std::strcpy(record.softwareVer, "4.1.2.3");
    record.build = 1024;
    id.information.firmwareVersion = "9.9";
    EXPECT_FALSE(discovery::ApplyIdentity(record, id)) << "our search's version stands";
    id.code = onvif::kIdentifyRefused;
    EXPECT_FALSE(discovery::ApplyIdentity(record, id));
}

}  // namespace
