// DES-CBC decryption of data enciphered by the openssl command line:
//   openssl enc -des-cbc -provider legacy -provider default
//               -K 796c6375646b6766 -iv 6871777a7065786d
// (the hex of "ylcudkgf" and "hqwzpexm"), see tests/data/crypto/make_vectors.py,
// which wrote des_cbc.txt and des_cbc_badpad.txt.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CryptoTestSupport.h"
#include "common/crypto/DesCbc.h"

namespace {

using crypto_test::DiagCapture;
using crypto_test::FromHex;
using crypto_test::ToHex;

// Decrypts into a heap block of exactly length + 1 bytes, so that any write
// past the documented size is seen by AddressSanitizer.
struct Decrypted {
    std::unique_ptr<uint8_t[]> destination;
    uint8_t* result = nullptr;
    size_t outLength = 12345;
};

Decrypted Decrypt(const std::vector<uint8_t>& cipher, const char* iv = kFacDesIvText,
                  const char* key = kFacDesKeyText) {
    Decrypted d;
    d.destination = std::make_unique<uint8_t[]>(cipher.size() + 1);
    d.result =
        DecryptDesCbc(iv, key, cipher.data(), cipher.size(), d.destination.get(), d.outLength);
    return d;
}

TEST(DecryptDesCbc, FixedTexts) {
    EXPECT_STREQ(kFacDesKeyText, "ylcudkgfjiwqxmze");
    EXPECT_STREQ(kFacDesIvText, "hqwzpexmrtvbnaso");
    ASSERT_TRUE(crypto::DesCbcAvailable())
        << "DES is needed (with OpenSSL: its \"legacy\" provider)";
}

TEST(DecryptDesCbc, OpensslVectorsOfManyLengths) {
    const auto rows = crypto_test::ReadVectorFile("des_cbc.txt");
    ASSERT_GE(rows.size(), 10u);
    bool sawFullPaddingBlock = false;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        const std::vector<uint8_t> plain = FromHex(row[0]);
        const std::vector<uint8_t> cipher = FromHex(row[1]);
        SCOPED_TRACE("plain length " + std::to_string(plain.size()));
        ASSERT_EQ(cipher.size(), (plain.size() / 8 + 1) * 8);
        sawFullPaddingBlock |= plain.size() % 8 == 0;

        DiagCapture diag;
        Decrypted d = Decrypt(cipher);
        ASSERT_EQ(d.result, d.destination.get());
        ASSERT_EQ(d.outLength, plain.size());
        EXPECT_EQ(ToHex(d.result, d.outLength), row[0]);
        EXPECT_EQ(d.result[d.outLength], 0);  // terminated after the plain bytes
        EXPECT_TRUE(diag.Texts().empty());
    }
    EXPECT_TRUE(sawFullPaddingBlock);
}

TEST(DecryptDesCbc, OnlyTheFirstEightCharactersCount) {
    const auto rows = crypto_test::ReadVectorFile("des_cbc.txt");
    const std::vector<uint8_t> cipher = FromHex(rows.back()[1]);
    Decrypted d = Decrypt(cipher, "hqwzpexm", "ylcudkgf");
    ASSERT_NE(d.result, nullptr);
    EXPECT_EQ(ToHex(d.result, d.outLength), rows.back()[0]);
    Decrypted other = Decrypt(cipher, "hqwzpexmXXXX", "ylcudkgfYYYY");
    ASSERT_NE(other.result, nullptr);
    EXPECT_EQ(ToHex(other.result, other.outLength), rows.back()[0]);
}

TEST(DecryptDesCbc, BadPaddingGivesNullAndTheFinalError) {
    const auto rows = crypto_test::ReadVectorFile("des_cbc_badpad.txt");
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        DiagCapture diag;
        Decrypted d = Decrypt(FromHex(row[0]));
        EXPECT_EQ(d.result, nullptr);
        EXPECT_EQ(d.outLength, 0u);
        EXPECT_EQ(diag.Texts(), std::vector<std::string>{"ERROR in EVP_DecryptFinal_ex\n"});
    }
}

TEST(DecryptDesCbc, IncompleteBlocksOrNothingFailAtTheEnd) {
    const auto rows = crypto_test::ReadVectorFile("des_cbc.txt");
    std::vector<uint8_t> cut = FromHex(rows.back()[1]);
    cut.pop_back();
    for (const std::vector<uint8_t>& cipher : {cut, std::vector<uint8_t>{}}) {
        DiagCapture diag;
        Decrypted d = Decrypt(cipher);
        EXPECT_EQ(d.result, nullptr);
        EXPECT_EQ(d.outLength, 0u);
        EXPECT_EQ(diag.Texts(), std::vector<std::string>{"ERROR in EVP_DecryptFinal_ex\n"});
    }
}

TEST(DecryptDesCbc, ShortKeyOrIvTextIsRefusedNotReadPast) {
    const auto rows = crypto_test::ReadVectorFile("des_cbc.txt");
    const std::vector<uint8_t> cipher = FromHex(rows[0][1]);
    const char* const badTexts[] = {"ylcudkg", "", nullptr};
    for (const char* bad : badTexts) {
        for (bool badKey : {true, false}) {
            DiagCapture diag;
            Decrypted d =
                badKey ? Decrypt(cipher, kFacDesIvText, bad) : Decrypt(cipher, bad, kFacDesKeyText);
            EXPECT_EQ(d.result, nullptr);
            EXPECT_EQ(d.outLength, 0u);
            EXPECT_EQ(diag.Texts(), std::vector<std::string>{"ERROR in EVP_DecryptInit_ex \n"});
        }
    }
    size_t outLength = 1;
    DiagCapture diag;
    EXPECT_EQ(DecryptDesCbc(kFacDesIvText, kFacDesKeyText, cipher.data(), cipher.size(), nullptr,
                            outLength),
              nullptr);
    EXPECT_EQ(outLength, 0u);
}

TEST(DecryptDesCbc, VectorVariant) {
    const auto rows = crypto_test::ReadVectorFile("des_cbc.txt");
    std::vector<uint8_t> plain{1, 2, 3};
    ASSERT_TRUE(crypto::DecryptDesCbc(kFacDesIvText, kFacDesKeyText, FromHex(rows[2][1]), plain));
    EXPECT_EQ(plain, FromHex(rows[2][0]));

    const auto bad = crypto_test::ReadVectorFile("des_cbc_badpad.txt");
    DiagCapture diag;
    EXPECT_FALSE(crypto::DecryptDesCbc(kFacDesIvText, kFacDesKeyText, FromHex(bad[0][0]), plain));
    EXPECT_TRUE(plain.empty());
}

}  // namespace
