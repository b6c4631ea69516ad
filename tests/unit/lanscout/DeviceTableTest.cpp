// Which answers the searcher reports, and when a device is gone: the table
// driven round by round.

#include "lanscout/DeviceTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lanscout::DeviceTable;

TEST(DeviceTable, FirstAnswerIsFoundRepeatIsSilentChangeIsReportedOnce) {
    DeviceTable table(3, 100);
    EXPECT_EQ(table.OnAnswer("AA", "<v1/>", 1), 1);
    EXPECT_EQ(table.OnAnswer("AA", "<v1/>", 1), 0);  // same round, twice
    EXPECT_EQ(table.OnAnswer("AA", "<v1/>", 2), 0);
    EXPECT_EQ(table.OnAnswer("AA", "<v2/>", 3), 3);
    EXPECT_EQ(table.OnAnswer("AA", "<v2/>", 4), 0);
    EXPECT_EQ(table.OnAnswer("AA", "<v1/>", 5), 3);  // back to the old text is a change too
    EXPECT_EQ(table.Size(), 1u);
}

TEST(DeviceTable, IdentityIsTheExactMacText) {
    DeviceTable table(3, 100);
    EXPECT_EQ(table.OnAnswer("00:aa", "<x/>", 1), 1);
    EXPECT_EQ(table.OnAnswer("00:AA", "<x/>", 1), 1);  // another case is another device
    EXPECT_EQ(table.Size(), 2u);
}

TEST(DeviceTable, GoneAfterExactlyTheMissedRoundsAndOnlyOnce) {
    DeviceTable table(3, 100);
    ASSERT_EQ(table.OnAnswer("AA", "<a/>", 1), 1);
    ASSERT_EQ(table.OnAnswer("BB", "<b/>", 1), 1);
    for (uint64_t round = 1; round <= 3; ++round) {
        EXPECT_TRUE(table.CloseRound(round).empty()) << round;
        table.OnAnswer("BB", "<b/>", round + 1);  // BB keeps answering
    }
    // AA answered in round 1 and missed rounds 2, 3 and 4.
    const auto gone = table.CloseRound(4);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].mac, "AA");
    EXPECT_EQ(gone[0].xml, "<a/>");  // its last answer goes with the notice
    EXPECT_TRUE(table.CloseRound(5).empty());
    EXPECT_TRUE(table.CloseRound(6).empty());
    EXPECT_EQ(table.Size(), 1u);
}

TEST(DeviceTable, ADeviceThatComesBackIsFoundAgain) {
    DeviceTable table(2, 100);
    ASSERT_EQ(table.OnAnswer("AA", "<a/>", 1), 1);
    ASSERT_TRUE(table.CloseRound(2).empty());
    ASSERT_EQ(table.CloseRound(3).size(), 1u);
    EXPECT_EQ(table.OnAnswer("AA", "<a/>", 4), 1);  // same text: still found, not silent
}

TEST(DeviceTable, OneMissedRoundIsForgivenBelowTheLimit) {
    DeviceTable table(3, 100);
    ASSERT_EQ(table.OnAnswer("AA", "<a/>", 1), 1);
    EXPECT_TRUE(table.CloseRound(2).empty());
    EXPECT_TRUE(table.CloseRound(3).empty());
    EXPECT_EQ(table.OnAnswer("AA", "<a/>", 4), 0);  // answered again in time
    EXPECT_TRUE(table.CloseRound(4).empty());
    EXPECT_TRUE(table.CloseRound(6).empty());
    EXPECT_EQ(table.CloseRound(7).size(), 1u);
}

TEST(DeviceTable, LateAnswerOfAnOldRoundDoesNotShortenTheDevicesLife) {
    DeviceTable table(2, 100);
    ASSERT_EQ(table.OnAnswer("AA", "<a/>", 5), 1);
    EXPECT_EQ(table.OnAnswer("AA", "<a/>", 3), 0);
    EXPECT_TRUE(table.CloseRound(6).empty());
    EXPECT_EQ(table.CloseRound(7).size(), 1u);
}

TEST(DeviceTable, GoneDevicesComeInTheOrderTheyWereFound) {
    DeviceTable table(1, 100);
    const char* macs[] = {"m5", "m1", "m9", "m3", "m7"};
    for (const char* mac : macs) {
        ASSERT_EQ(table.OnAnswer(mac, "<x/>", 1), 1);
    }
    const auto gone = table.CloseRound(2);
    ASSERT_EQ(gone.size(), 5u);
    for (size_t i = 0; i < gone.size(); ++i) {
        EXPECT_EQ(gone[i].mac, macs[i]);
    }
}

TEST(DeviceTable, FullTableIgnoresNewDevicesUntilOneIsGone) {
    DeviceTable table(1, 2);
    ASSERT_EQ(table.OnAnswer("AA", "<a/>", 1), 1);
    ASSERT_EQ(table.OnAnswer("BB", "<b/>", 1), 1);
    EXPECT_EQ(table.OnAnswer("CC", "<c/>", 1), 0);
    EXPECT_EQ(table.Ignored(), 1u);
    EXPECT_EQ(table.OnAnswer("AA", "<a2/>", 1), 3);  // known devices still change
    table.OnAnswer("BB", "<b/>", 2);
    ASSERT_EQ(table.CloseRound(2).size(), 1u);  // AA gone
    EXPECT_EQ(table.OnAnswer("CC", "<c/>", 3), 1);
}

TEST(DeviceTable, ZeroMissedRoundsMeansOne) {
    DeviceTable table(0, 10);
    ASSERT_EQ(table.OnAnswer("AA", "<a/>", 1), 1);
    EXPECT_TRUE(table.CloseRound(1).empty());  // the round it answered in
    EXPECT_EQ(table.CloseRound(2).size(), 1u);
}

}  // namespace
