// Comparing what arrived with what was sent when encryption padded it, and
// waiting on the records.

#include <gtest/gtest.h>

#include <thread>

#include "sim/DeviceConfig.h"
#include "sim/DeviceRecords.h"

namespace {

TEST(DeviceRecords, PaddingIsAllowedOnlyWhenEncryptedAndOnlyAsZeros) {
    const std::vector<uint8_t> sent = {1, 2, 3};
    std::vector<uint8_t> padded = sent;
    padded.resize(16, 0);
    EXPECT_TRUE(sim::SamePayload(sent, padded, true));
    EXPECT_FALSE(sim::SamePayload(sent, padded, false));
    EXPECT_TRUE(sim::SamePayload(sent, sent, false));
    padded[15] = 1;
    EXPECT_FALSE(sim::SamePayload(sent, padded, true));
    EXPECT_FALSE(sim::SamePayload(sent, std::vector<uint8_t>(sent.begin(), sent.end() - 1), true));
    std::vector<uint8_t> tooLong = sent;
    tooLong.resize(sent.size() + 16, 0);
    EXPECT_FALSE(sim::SamePayload(sent, tooLong, true));

    EXPECT_EQ(sim::PossiblePadding({1, 0, 0}, true), 2u);
    EXPECT_EQ(sim::PossiblePadding({1, 0, 0}, false), 0u);
    EXPECT_EQ(sim::PossiblePadding(std::vector<uint8_t>(40, 0), true), 15u);
}

TEST(DeviceRecords, WaitersWakeOnChangeAndClearingKeepsTheOpenSessions) {
    sim::RecordBook book;
    int hooks = 0;
    book.SetChangeHook([&] { ++hooks; });
    std::thread writer([&] {
        book.Modify([](sim::DeviceRecords& r) { r.openSessions = 2; });
        book.Modify([](sim::DeviceRecords& r) { r.anomalies.push_back("x"); });
    });
    EXPECT_TRUE(book.WaitFor([](const auto& r) { return r.anomalies.size() == 1; }, 10000));
    writer.join();
    book.Clear();
    const sim::DeviceRecords r = book.Snapshot();
    EXPECT_TRUE(r.anomalies.empty());
    EXPECT_EQ(r.openSessions, 2u);
    EXPECT_EQ(r.clears, 1u);
    EXPECT_EQ(hooks, 3);
    EXPECT_FALSE(book.WaitFor([](const auto& rr) { return rr.connections > 0; }, 10));
}

TEST(DeviceConfig, VersionTextsAndChecks) {
    uint32_t word = 0;
    EXPECT_TRUE(sim::ParseVersionWord("4.0.10.1", word));
    EXPECT_EQ(word, 0x04000A01u);
    for (const char* bad : {"4.0.2", "4.0.2.256", "4.0.2.1x", "a.b.c.d", ""}) {
        EXPECT_FALSE(sim::ParseVersionWord(bad, word)) << bad;
    }
    sim::DeviceConfig config = sim::DefaultDevice(0);
    config.identity.softwareVer = "V3.4.2 beta";  // not a dotted quad: version 0 unless given
    EXPECT_EQ(sim::VersionWordOf(config), 0u);
    config.identity.versionWord = 0x03040200u;
    EXPECT_EQ(sim::VersionWordOf(config), 0x03040200u);
    sim::CompleteConfig(config);
    EXPECT_EQ(sim::CheckConfig(config), "");
    config.identity.mac = "far too long for a mac text";
    EXPECT_NE(sim::CheckConfig(config), "");
}

}  // namespace
