// Runs with OPENSSL_MODULES pointing at a folder that does not exist (see
// CMakeLists.txt), so the "legacy" provider cannot be loaded.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "CryptoTestSupport.h"
#include "common/crypto/CDataEncryption.h"
#include "common/crypto/CryptoLibrary.h"
#include "common/crypto/DesCbc.h"
#include "common/crypto/Digest.h"

namespace {

using crypto_test::DiagCapture;
using testing::HasSubstr;

TEST(NoLegacyProvider, DesFailsNamingTheProvider) {
    ASSERT_FALSE(crypto::CryptoLibrary::Get().HasLegacyProvider());
    std::vector<uint8_t> cipher(16, 0x42);
    std::vector<uint8_t> destination(cipher.size() + 1, 0xEE);
    size_t outLength = 99;
    DiagCapture diag;
    EXPECT_EQ(DecryptDesCbc(kFacDesIvText, kFacDesKeyText, cipher.data(), cipher.size(),
                            destination.data(), outLength),
              nullptr);
    EXPECT_EQ(outLength, 0u);
    EXPECT_EQ(destination, std::vector<uint8_t>(17, 0xEE));
    const auto texts = diag.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_THAT(texts[0], HasSubstr("\"legacy\""));
    EXPECT_EQ(texts[1], "ERROR in EVP_DecryptInit_ex \n");
}

TEST(NoLegacyProvider, AesAndDigestsStillWork) {
    // FIPS-197 Appendix C.1.
    std::vector<uint8_t> data = crypto_test::FromHex("00112233445566778899aabbccddeeff");
    CmdDataBuffer out =
        CDataEncryption::Instance().EncryptCmdData(data, "000102030405060708090a0b0c0d0e0f");
    ASSERT_TRUE(out.Ok());
    EXPECT_EQ(crypto_test::ToHex(out.Data(), out.Size()), "69c4e0d86a7b0430d8cdb78070b4c55a");

    crypto::Md5Digest md5{};
    crypto::Sha1Digest sha1{};
    EXPECT_TRUE(crypto::Md5(std::string_view("abc"), md5));
    EXPECT_TRUE(crypto::Sha1(std::string_view("abc"), sha1));
    EXPECT_EQ(crypto::HexText(md5), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
