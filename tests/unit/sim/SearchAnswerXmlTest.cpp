// The search answer a device builds, read back with the programs' parser.

#include <gtest/gtest.h>

#include "discovery/SearchAnswer.h"
#include "sim/SearchAnswerXml.h"

namespace {

TEST(SearchAnswerXml, TheProgramsReadEveryFieldBack) {
    sim::DeviceConfig config = sim::DefaultDevice(4);
    config.identity.devName = "Gate \"A\" <north> & 'south' \xE5\xA4\xA7";
    config.identity.ip[1] = "192.168.1.64";
    config.identity.mask[1] = "255.255.255.0";
    config.identity.build = -7;
    config.identity.deviceActivated = 1;
    config.identity.kernelVer = "4.9.37";
    sim::CompleteConfig(config);
    const std::string xml = sim::BuildSearchAnswer(config.identity, 41234);
    EXPECT_NE(xml.find("<softwareBulildDate>2024-03-15</softwareBulildDate>"), std::string::npos);

    for (const auto* rules : {&discovery::kFwbatchRules, &discovery::kCfgpushRules}) {
        discovery::SearchReport report =
            discovery::ParseSearchAnswer("02:53:49:4D:00:04", 1, xml.c_str(), *rules);
        ASSERT_EQ(report.type, discovery::SearchReport::Type::Device);
        const SEARCH_DEVICE_INFO& d = *report.device;
        EXPECT_STREQ(d.devName, config.identity.devName.c_str());
        EXPECT_STREQ(d.ip[0], "127.0.0.6");
        EXPECT_STREQ(d.mask[0], "255.0.0.0");
        EXPECT_STREQ(d.ip[1], "192.168.1.64");
        EXPECT_STREQ(d.mask[1], "255.255.255.0");
        EXPECT_EQ(d.dataPort, 41234);
        EXPECT_EQ(d.httpPort, 80);
        EXPECT_STREQ(d.productModel, "IPC-SIM-4");
        EXPECT_STREQ(d.softwareVer, "4.1.2.3");
        EXPECT_EQ(d.build, -7);
        if (rules == &discovery::kFwbatchRules) {
            EXPECT_STREQ(d.softwareBuildDate, "2024-03-15");
            EXPECT_STREQ(d.kernelVer, "4.9.37");
            EXPECT_EQ(d.deviceActivated, 1);
        }
    }
}

TEST(SearchAnswerXml, TheSeriesDecidesWhichProgramListsTheDevice) {
    sim::DeviceConfig config = sim::DefaultDevice(0);
    sim::CompleteConfig(config);
    config.identity.productSeries = "KMX_NVR";
    const std::string xml = sim::BuildSearchAnswer(config.identity, 9008);
    EXPECT_EQ(discovery::ParseSearchAnswer("m", 1, xml.c_str(), discovery::kFwbatchRules).type,
              discovery::SearchReport::Type::Dropped);
    EXPECT_EQ(discovery::ParseSearchAnswer("m", 1, xml.c_str(), discovery::kCfgpushRules).type,
              discovery::SearchReport::Type::Device);
}

TEST(SearchAnswerXml, EscapesTheFiveSpecialCharacters) {
    EXPECT_EQ(sim::XmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
    EXPECT_EQ(sim::XmlEscape("\xE5\xA4\xA7"), "\xE5\xA4\xA7");
}

}  // namespace
