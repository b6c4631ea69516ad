// What a discovery answer's scopes and XAddrs tell.
#include <gtest/gtest.h>

#include "common/platform/NetworkPlatform.h"
#include "onvif/Scopes.h"

namespace {

uint32_t Ip(const char* text) {
    uint32_t a = 0;
    platform::ParseIPv4(text, a);
    return a;
}

TEST(OnvifScopes, NameModelAndMacInTheirSpellings) {
    struct Case {
        std::vector<std::string> scopes;
        const char* name;
        const char* hardware;
        const char* mac;
    } cases[] = {
        {{"onvif://www.onvif.org/name/HD%20IPC", "onvif://www.onvif.org/hardware/IPC-B%2F2"},
         "HD IPC",
         "IPC-B/2",
         ""},
        {{"onvif://www.onvif.org/MAC/aa-bb-cc-dd-ee-0f"}, "", "", "AA:BB:CC:DD:EE:0F"},
        {{"onvif://www.onvif.org/mac/AABBCCDDEE0F"}, "", "", "AA:BB:CC:DD:EE:0F"},
        {{"ONVIF://WWW.ONVIF.ORG/MacAddress/aa:bb:cc:dd:ee:0f"}, "", "", "AA:BB:CC:DD:EE:0F"},
        {{"onvif://www.onvif.org/MAC/not-a-mac", "onvif://www.onvif.org/mac/aa:bb:cc:dd:ee:01"},
         "",
         "",
         "AA:BB:CC:DD:EE:01"},
        {{"onvif://www.onvif.org/name/first", "onvif://www.onvif.org/name/second"},
         "first",
         "",
         ""},
        {{"http://example/name/x", "onvif://www.onvif.org/name/", "onvif://www.onvif.org/type"},
         "",
         "",
         ""},
        {{"onvif://www.onvif.org/name/%E5%89%8D%E9%97%A8%2"}, "\xE5\x89\x8D\xE9\x97\xA8%2", "", ""},
    };
    for (const Case& c : cases) {
        const onvif::ScopeFacts facts = onvif::ReadScopes(c.scopes);
        EXPECT_EQ(facts.name, c.name) << c.scopes[0];
        EXPECT_EQ(facts.hardware, c.hardware) << c.scopes[0];
        EXPECT_EQ(facts.mac, c.mac) << c.scopes[0];
    }
}

TEST(OnvifScopes, MacSpellings) {
    const std::pair<const char*, const char*> cases[] = {
        {"001122aabbcc", "00:11:22:AA:BB:CC"},
        {"00-11-22-AA-BB-CC", "00:11:22:AA:BB:CC"},
        {"0011.22aa.bbcc", "00:11:22:AA:BB:CC"},
        {"00:11:22:aa:bb", ""},
        {"00:11-22:aa:bb:cc", ""},
        {"00:11:22:aa:bb:cg", ""},
        {"", ""},
    };
    for (const auto& [text, mac] : cases) {
        EXPECT_EQ(onvif::NormaliseMac(text), mac) << text;
    }
}

TEST(OnvifScopes, XAddrsAndTheOneInTheHearingSubnet) {
    onvif::XAddr x;
    ASSERT_TRUE(onvif::ParseXAddr("http://10.1.2.3/onvif/device_service", x));
    EXPECT_EQ(x.address, Ip("10.1.2.3"));
    EXPECT_EQ(x.port, 80);
    ASSERT_TRUE(onvif::ParseXAddr("HTTPS://10.1.2.3:8443/x", x));
    EXPECT_TRUE(x.https);
    EXPECT_EQ(x.port, 8443);
    ASSERT_TRUE(onvif::ParseXAddr("http://[fe80::1]:8080/x", x));
    EXPECT_EQ(x.address, 0u);
    EXPECT_EQ(x.port, 8080);
    for (const char* bad : {"ftp://1.2.3.4/", "http://", "http://1.2.3.4:0/",
                            "http://1.2.3.4:70000/", "http://user@1.2.3.4/", "http://1.2.3.4:/"}) {
        EXPECT_FALSE(onvif::ParseXAddr(bad, x)) << bad;
    }
    std::vector<onvif::XAddr> list(4);
    onvif::ParseXAddr("http://[fe80::1]/x", list[0]);
    onvif::ParseXAddr("https://192.168.7.9/x", list[1]);
    onvif::ParseXAddr("http://10.0.0.9/x", list[2]);
    onvif::ParseXAddr("http://192.168.7.9:81/x", list[3]);
    EXPECT_EQ(onvif::PreferredXAddr(list, Ip("192.168.7.1"), Ip("255.255.255.0")), 3);
    EXPECT_EQ(onvif::PreferredXAddr(list, Ip("172.16.0.1"), Ip("255.255.0.0")), 2);
    EXPECT_EQ(onvif::PreferredXAddr({list[0]}, 0, 0), -1);
}

}  // namespace
