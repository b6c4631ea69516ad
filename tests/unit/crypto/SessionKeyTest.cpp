#include <gtest/gtest.h>

#include "common/crypto/SessionKey.h"

namespace {

using crypto::AesKey;
using crypto::AesKeyFromText;

TEST(SessionKeyText, SixteenDigitsWithLeadingZeros) {
    EXPECT_EQ(crypto::SessionKeyText(123456), "0000000000123456");
    EXPECT_EQ(crypto::SessionKeyText(0), "0000000000000000");
    EXPECT_EQ(crypto::SessionKeyText(16777215), "0000000016777215");  // largest session number
    EXPECT_EQ(crypto::SessionKeyText(4294967295u), "0000004294967295");
}

TEST(AesKeyFromText, SixteenDigitsGiveEightBytesThenZeros) {
    // Decimal digits are read as hexadecimal pairs.
    EXPECT_EQ(AesKeyFromText("0000000000123456"),
              (AesKey{0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(AesKeyFromText("9876543210987654"),
              (AesKey{0x98, 0x76, 0x54, 0x32, 0x10, 0x98, 0x76, 0x54, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(AesKeyFromText, ThirtyTwoDigitsFillTheKeyAndMoreAreIgnored) {
    const AesKey full{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                      0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
    EXPECT_EQ(AesKeyFromText("000102030405060708090a0b0c0d0e0f"), full);
    EXPECT_EQ(AesKeyFromText("000102030405060708090a0b0c0d0e0fffee"), full);
}

TEST(AesKeyFromText, EitherCase) {
    EXPECT_EQ(AesKeyFromText("aBcDeF"), AesKeyFromText("ABCDEF"));
    EXPECT_EQ(AesKeyFromText("abcdef"),
              (AesKey{0xab, 0xcd, 0xef, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(AesKeyFromText, NonHexCharacterEndsTheKey) {
    const AesKey onlyFirst{0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(AesKeyFromText("12zz34"), onlyFirst);
    EXPECT_EQ(AesKeyFromText("12 34"), onlyFirst);
    EXPECT_EQ(AesKeyFromText("123g45"), onlyFirst);   // bad low digit ends the pair too
    EXPECT_EQ(AesKeyFromText("123"), onlyFirst);      // a lone last digit makes no byte
    EXPECT_EQ(AesKeyFromText("12-3456"), onlyFirst);  // nothing after the stop is read
    EXPECT_EQ(AesKeyFromText("0x12"), AesKey{});
}

TEST(AesKeyFromText, EmptyOrNullTextGivesZeros) {
    EXPECT_EQ(AesKeyFromText(""), AesKey{});
    EXPECT_EQ(AesKeyFromText(nullptr), AesKey{});
}

}  // namespace
