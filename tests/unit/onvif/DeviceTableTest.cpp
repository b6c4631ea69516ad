// One camera per endpoint however it was heard; gone by Bye or by silence.
#include <gtest/gtest.h>

#include "common/platform/NetworkPlatform.h"
#include "onvif/OnvifDeviceTable.h"

namespace {

uint32_t Ip(const char* text) {
    uint32_t a = 0;
    platform::ParseIPv4(text, a);
    return a;
}

onvif::DiscoveryTarget Camera(const std::string& endpoint, std::vector<std::string> xaddrs) {
    onvif::DiscoveryTarget t;
    t.endpoint = endpoint;
    t.types = {onvif::NetworkVideoTransmitterType()};
    t.scopes = {"onvif://www.onvif.org/name/Cam"};
    t.xaddrs = std::move(xaddrs);
    return t;
}

onvif::HeardVia Via(const char* name, const char* local, bool probe = true) {
    return {name, 1, Ip(local), Ip("255.255.255.0"), 0, probe};
}

TEST(OnvifDeviceTable, OneCameraHowEverManyInterfacesAndProbesHeardIt) {
    onvif::OnvifDeviceTable table;
    const auto cam =
        Camera("urn:uuid:1", {"http://10.2.0.5/onvif/device_service", "http://10.1.0.5:81/x"});
    onvif::OnvifDevice d;
    EXPECT_EQ(table.OnHeard(cam, Via("v1", "10.1.0.1"), 1, &d), 1);
    EXPECT_EQ(d.address, Ip("10.1.0.5")) << "the XAddr in the subnet that heard it";
    EXPECT_EQ(d.httpPort, 81);
    EXPECT_TRUE(d.onLocalSubnet);
    EXPECT_EQ(table.OnHeard(cam, Via("v1", "10.1.0.1"), 1, &d), 0) << "the repeat changes nothing";
    EXPECT_EQ(table.OnHeard(cam, Via("v2", "10.2.0.1"), 1, &d), 3) << "a second interface is noted";
    EXPECT_EQ(d.heardOn, (std::vector<std::string>{"v1", "v2"}));
    EXPECT_EQ(d.address, Ip("10.1.0.5")) << "the address first chosen stays";
    EXPECT_EQ(table.Size(), 1u);
}

TEST(OnvifDeviceTable, AForeignCameraHeardByHelloMovesToTheAddressAProbeReaches) {
    onvif::OnvifDeviceTable table;
    const auto cam = Camera("urn:uuid:f", {"http://10.9.0.5/onvif/device_service"});
    onvif::OnvifDevice d;
    EXPECT_EQ(table.OnHeard(cam, Via("v1", "192.168.7.1", false), 1, &d), 1);
    EXPECT_FALSE(d.onLocalSubnet);
    EXPECT_TRUE(table.CloseRound(10).empty()) << "only its Bye ends a camera a probe cannot reach";
    EXPECT_EQ(table.OnHeard(cam, Via("v1", "10.9.0.77"), 11, &d), 3);
    EXPECT_TRUE(d.onLocalSubnet);
    EXPECT_TRUE(d.byProbe && d.byHello);
    EXPECT_TRUE(table.CloseRound(13).empty());
    EXPECT_EQ(table.CloseRound(14).size(), 1u) << "three silent rounds";
}

TEST(OnvifDeviceTable, ByeEndsItAndTheTableStaysBounded) {
    onvif::OnvifDeviceTable table(2);
    onvif::OnvifDevice d;
    EXPECT_EQ(table.OnHeard(Camera("urn:uuid:a", {}), Via("v1", "10.1.0.1"), 1, &d), 1);
    EXPECT_TRUE(d.addressFromSender) << "no XAddr: the sender's address";
    EXPECT_EQ(table.OnHeard(Camera("urn:uuid:b", {}), Via("v1", "10.1.0.1"), 1, &d), 1);
    EXPECT_EQ(table.OnHeard(Camera("urn:uuid:c", {}), Via("v1", "10.1.0.1"), 1, &d), 0);
    EXPECT_EQ(table.Refused(), 1u);
    EXPECT_TRUE(table.OnBye("urn:uuid:a", &d));
    EXPECT_EQ(d.endpoint, "urn:uuid:a");
    EXPECT_FALSE(table.OnBye("urn:uuid:a", &d));
    EXPECT_EQ(table.OnHeard(Camera("urn:uuid:c", {}), Via("v1", "10.1.0.1"), 1, &d), 1);
}

}  // namespace
