// MD5 and SHA-1 against Python's hashlib (digests.txt, made by
// tests/data/crypto/make_vectors.py).

#include <gtest/gtest.h>

#include <string>

#include "CryptoTestSupport.h"
#include "common/crypto/Digest.h"

namespace {

using crypto_test::FromHex;

TEST(Digest, HashlibVectors) {
    const auto rows = crypto_test::ReadVectorFile("digests.txt");
    ASSERT_GE(rows.size(), 5u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const std::vector<uint8_t> input = FromHex(row[0]);
        SCOPED_TRACE(row[0].substr(0, 40));
        crypto::Md5Digest md5{};
        crypto::Sha1Digest sha1{};
        ASSERT_TRUE(crypto::Md5(input, md5));
        ASSERT_TRUE(crypto::Sha1(input, sha1));
        EXPECT_EQ(crypto::HexText(md5), row[1]);
        EXPECT_EQ(crypto::HexText(sha1), row[2]);
    }
}

TEST(Digest, TextOverloadsAndUpperCaseHex) {
    // The login writes the MD5 of the password as upper-case digits.
    crypto::Md5Digest md5{};
    ASSERT_TRUE(crypto::Md5(std::string_view("abc"), md5));
    EXPECT_EQ(crypto::HexText(md5, true), "900150983CD24FB0D6963F7D28E17F72");
    crypto::Md5Digest empty{};
    ASSERT_TRUE(crypto::Md5(std::string_view(), empty));
    EXPECT_EQ(crypto::HexText(empty, true), "D41D8CD98F00B204E9800998ECF8427E");

    crypto::Sha1Digest sha1{};
    ASSERT_TRUE(crypto::Sha1(std::string_view("abc"), sha1));
    EXPECT_EQ(crypto::HexText(sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(crypto::HexText({}), "");
}

}  // namespace
