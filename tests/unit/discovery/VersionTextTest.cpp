#include "discovery/VersionText.h"

#include <gtest/gtest.h>

namespace {

using discovery::FormatVersionText;

TEST(VersionText, TheFourDisplayedForms) {
    EXPECT_EQ(FormatVersionText("3.4.2", 1234, "7.0.0.0"), "3.4.2.7(1234)");
    EXPECT_EQ(FormatVersionText("3.4.2beta", 12, "7.0.0.0"), "3.4.2.7(12)beta");
    EXPECT_EQ(FormatVersionText("2.1.0", -1, ""), "2.1.0");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "255.255.255.0"), "3.4.2");
}

TEST(VersionText, BuildGoesBeforeEveryBeta) {
    EXPECT_EQ(FormatVersionText("1.0beta-beta", 5, ""), "1.0(5)beta-(5)beta");
    EXPECT_EQ(FormatVersionText("1.0Beta", 5, ""), "1.0Beta(5)");  // case-sensitive
    EXPECT_EQ(FormatVersionText("", 0, ""), "(0)");
    EXPECT_EQ(FormatVersionText("", -1, ""), "");
    EXPECT_EQ(FormatVersionText(nullptr, -1, nullptr), "");
}

TEST(VersionText, OnlyVersionsBeginningWith342TakeTheMaskNumber) {
    EXPECT_EQ(FormatVersionText("V3.4.2", 1, "7.0.0.0"), "V3.4.2(1)");
    EXPECT_EQ(FormatVersionText("3.4.20", -1, "7.0.0.0"), "3.4.2.70");  // begins with "3.4.2"
    EXPECT_EQ(FormatVersionText("3.4.2-3.4.2", -1, "12.0.0.0"), "3.4.2.12-3.4.2.12");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "0.0.0.0"), "3.4.2");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "7"), "3.4.2");  // no "." gives the empty text
    EXPECT_EQ(FormatVersionText("3.4.2", -1, ""), "3.4.2");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "x.0"), "3.4.2");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "-3.0"), "3.4.2.-3");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, " 8.1"), "3.4.2.8");
}

TEST(VersionText, ANumberTooLongForTheComposedTextLeavesTheVersion) {
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "999999999.0"), "3.4.2.999999999");  // nine digits fit
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "1000000000.0"), "3.4.2");
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "-99999999.0"),
              "3.4.2.-99999999");  // eight with a sign
    EXPECT_EQ(FormatVersionText("3.4.2", -1, "-100000000.0"), "3.4.2");
    EXPECT_EQ(FormatVersionText("3.4.2", 7, "99999999999999999999.0"), "3.4.2(7)");
}

}  // namespace
