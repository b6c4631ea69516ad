// Discovery messages as cameras of different makers write them.
#include <gtest/gtest.h>

#include <string>

#include "onvif/OnvifNames.h"
#include "onvif/WsDiscovery.h"
#include "tests/unit/onvif/OnvifSamples.h"

namespace {

using onvif::DiscoveryMessage;
using Kind = DiscoveryMessage::Kind;

TEST(WsDiscovery, ProbeMatchesInEveryMakersSpelling) {
    for (const std::string& text :
         {onvif_samples::ProbeMatchStyleA(), onvif_samples::ProbeMatchStyleB(),
          onvif_samples::ProbeMatchSoap11()}) {
        const DiscoveryMessage m = onvif::ParseDiscoveryMessage(text);
        ASSERT_EQ(m.kind, Kind::ProbeMatches) << text;
        ASSERT_EQ(m.targets.size(), 1u);
        const onvif::DiscoveryTarget& t = m.targets[0];
        EXPECT_EQ(t.endpoint, "urn:uuid:11111111-2222-3333-4444-555555555555");
        EXPECT_TRUE(onvif::IsCamera(t));
        EXPECT_EQ(t.xaddrs.size(), 2u);
        EXPECT_EQ(t.scopes.size(), 3u);
        EXPECT_EQ(t.metadataVersion, 7u);
        EXPECT_EQ(m.relatesTo, "urn:uuid:probe-1");
    }
}

TEST(WsDiscovery, AnnouncementsFaultsAndStrangers) {
    struct Case {
        std::string text;
        Kind kind;
        bool camera;
    } cases[] = {
        {onvif_samples::Hello("urn:uuid:a", "dn:NetworkVideoTransmitter"), Kind::Hello, true},
        {onvif_samples::Hello("urn:uuid:a", "dn:Device"), Kind::Hello,
         false},  // dn: is the network namespace
        {onvif_samples::PcHello(), Kind::Hello, false},
        {onvif_samples::Bye("urn:uuid:a"), Kind::Bye, false},
        {onvif_samples::Fault(), Kind::Fault, false},
        {"<junk", Kind::Other, false},
        {"<a xmlns='urn:x'/>", Kind::Other, false},
        {onvif_samples::Hello("", "dn:NetworkVideoTransmitter"), Kind::Other,
         false},  // no endpoint
    };
    for (const Case& c : cases) {
        const DiscoveryMessage m = onvif::ParseDiscoveryMessage(c.text);
        EXPECT_EQ(m.kind, c.kind) << c.text;
        if (m.kind == Kind::Hello) {
            EXPECT_EQ(onvif::IsCamera(m.targets.at(0)), c.camera) << c.text;
        }
    }
}

TEST(WsDiscovery, OurProbeIsOneTypeWithItsPrefixDeclaredOnTypes) {
    for (const onvif::QName& type : {onvif::NetworkVideoTransmitterType(), onvif::DeviceType()}) {
        const std::string id = onvif::NewMessageId();
        const std::string probe = onvif::BuildProbe(id, type);
        const DiscoveryMessage m = onvif::ParseDiscoveryMessage(probe);
        ASSERT_EQ(m.kind, Kind::Probe);
        EXPECT_EQ(m.messageId, id);
        ASSERT_EQ(m.probeTypes.size(), 1u);
        EXPECT_EQ(m.probeTypes[0], type);
        EXPECT_EQ(probe.find("AppSequence"), std::string::npos);
        EXPECT_NE(probe.find("Types xmlns:"), std::string::npos);
    }
    EXPECT_NE(onvif::NewMessageId(), onvif::NewMessageId());
    EXPECT_EQ(onvif::NewMessageId().size(), 45u);
}

TEST(WsDiscovery, LimitsDropTheDatagram) {
    onvif::DiscoveryLimits limits;
    limits.maxListItems = 2;
    EXPECT_EQ(
        onvif::ParseDiscoveryMessage(onvif_samples::ProbeMatchStyleA(), limits).targets.size(), 0u);
    limits = onvif::DiscoveryLimits();
    limits.maxEndpointLength = 10;
    EXPECT_EQ(
        onvif::ParseDiscoveryMessage(
            onvif_samples::Hello("urn:uuid:a-long-endpoint", "dn:NetworkVideoTransmitter"), limits)
            .kind,
        Kind::Other);
}

}  // namespace
