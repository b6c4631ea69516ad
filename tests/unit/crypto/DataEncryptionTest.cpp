// Payload encryption against known answers. The FIPS-197 examples are
// written here from the standard; the other vectors in aes128_ecb.txt were
// made by `openssl enc -aes-128-ecb -nopad -K <key>` over the zero-padded
// data (tests/data/crypto/make_vectors.py).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CryptoTestSupport.h"
#include "common/crypto/CDataEncryption.h"
#include "common/crypto/SessionKey.h"

namespace {

using crypto_test::DiagCapture;
using crypto_test::FromHex;
using crypto_test::ToHex;
using testing::StartsWith;

CDataEncryption& Cipher() {
    return CDataEncryption::Instance();
}

struct Fips197Case {
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS-197 Appendix C.1 and the worked example of Appendix B.
constexpr Fips197Case kFips197[] = {
    {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
};

TEST(EncryptCmdData, Fips197KnownAnswersInPlace) {
    for (const auto& c : kFips197) {
        std::vector<uint8_t> data = FromHex(c.plain);
        uint8_t* out = nullptr;
        size_t outLength = 0;
        EXPECT_FALSE(Cipher().EncryptCmdData(data.data(), data.size(), c.key, out, outLength));
        EXPECT_EQ(out, data.data());
        EXPECT_EQ(outLength, 16u);
        EXPECT_EQ(ToHex(data.data(), data.size()), c.cipher);

        EXPECT_FALSE(Cipher().DecryptCmdData(data.data(), data.size(), c.key, out, outLength));
        EXPECT_EQ(out, data.data());
        EXPECT_EQ(ToHex(data.data(), data.size()), c.plain);
    }
}

TEST(EncryptCmdData, OpensslVectorsBothWays) {
    const auto rows = crypto_test::ReadVectorFile("aes128_ecb.txt");
    ASSERT_GE(rows.size(), 5u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const std::string& keyText = row[0];
        std::vector<uint8_t> plain = FromHex(row[1]);
        const std::vector<uint8_t> cipher = FromHex(row[2]);
        SCOPED_TRACE(keyText + " " + row[1]);

        CmdDataBuffer encrypted = Cipher().EncryptCmdData(plain, keyText.c_str());
        ASSERT_TRUE(encrypted.Ok());
        EXPECT_EQ(encrypted.IsNewBuffer(), plain.size() % 16 != 0);
        EXPECT_EQ(ToHex(encrypted.Data(), encrypted.Size()), row[2]);

        std::vector<uint8_t> data = cipher;
        CmdDataBuffer decrypted = Cipher().DecryptCmdData(data, keyText.c_str());
        ASSERT_TRUE(decrypted.Ok());
        EXPECT_FALSE(decrypted.IsNewBuffer());
        std::vector<uint8_t> padded = FromHex(row[1]);
        padded.resize(cipher.size(), 0);  // the padding zeros stay
        EXPECT_EQ(ToHex(decrypted.Data(), decrypted.Size()), ToHex(padded.data(), padded.size()));
    }
}

TEST(EncryptCmdData, WholeBlocksInPlaceOtherwiseNewBuffer) {
    const char* key = "0000000000123456";
    // 16 bytes: in place, result false.
    std::vector<uint8_t> sixteen(16, 'A');
    uint8_t* out = nullptr;
    size_t outLength = 0;
    EXPECT_FALSE(Cipher().EncryptCmdData(sixteen.data(), 16, key, out, outLength));
    EXPECT_EQ(out, sixteen.data());
    EXPECT_EQ(outLength, 16u);
    EXPECT_NE(sixteen, std::vector<uint8_t>(16, 'A'));

    // 17 bytes: a new 32-byte buffer, result true; the caller's bytes untouched.
    std::vector<uint8_t> seventeen(17, 'B');
    EXPECT_TRUE(Cipher().EncryptCmdData(seventeen.data(), 17, key, out, outLength));
    BufoutPtr owned(out);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, seventeen.data());
    EXPECT_EQ(outLength, 32u);
    EXPECT_EQ(seventeen, std::vector<uint8_t>(17, 'B'));

    // Its first block is that of 16 'B's under the same key (ECB).
    std::vector<uint8_t> firstBlock(16, 'B');
    Cipher().EncryptCmdData(firstBlock.data(), 16, key, out, outLength);
    EXPECT_EQ(std::memcmp(owned.get(), firstBlock.data(), 16), 0);
}

TEST(EncryptCmdData, EmptyPayloadIsInPlaceWithNoBlocks) {
    for (bool encrypt : {true, false}) {
        uint8_t marker = 0x5A;
        uint8_t* out = reinterpret_cast<uint8_t*>(&out);  // whatever it held
        size_t outLength = 99;
        const bool isNew = encrypt ? Cipher().EncryptCmdData(&marker, 0, "00", out, outLength)
                                   : Cipher().DecryptCmdData(&marker, 0, "00", out, outLength);
        EXPECT_FALSE(isNew);
        EXPECT_EQ(out, &marker);
        EXPECT_EQ(outLength, 0u);
        EXPECT_EQ(marker, 0x5A);

        CmdDataBuffer none = encrypt ? Cipher().EncryptCmdData(std::span<uint8_t>(), "00")
                                     : Cipher().DecryptCmdData(std::span<uint8_t>(), "00");
        EXPECT_TRUE(none.Ok());
        EXPECT_FALSE(none.IsNewBuffer());
        EXPECT_EQ(none.Size(), 0u);
    }
}

TEST(EncryptCmdData, OutIsOverwrittenNeverWrittenThrough) {
    // A caller that forgot to clear `out` must not have its buffer filled.
    std::vector<uint8_t> stale(4, 0xEE);
    uint8_t* out = stale.data();
    size_t outLength = 0;
    std::vector<uint8_t> data(5, 1);
    ASSERT_TRUE(Cipher().EncryptCmdData(data.data(), data.size(), "11", out, outLength));
    BufoutPtr owned(out);
    EXPECT_NE(out, stale.data());
    EXPECT_EQ(stale, std::vector<uint8_t>(4, 0xEE));
    EXPECT_EQ(outLength, 16u);
}

TEST(EncryptCmdData, NullDataWithALengthFails) {
    uint8_t* out = nullptr;
    size_t outLength = 7;
    EXPECT_FALSE(Cipher().EncryptCmdData(nullptr, 20, "00", out, outLength));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outLength, 0u);
    EXPECT_FALSE(Cipher().DecryptCmdData(nullptr, 32, "00", out, outLength));
    EXPECT_EQ(out, nullptr);
}

TEST(EncryptCmdData, RoundTripRestoresDataFollowedByZeros) {
    const std::string key = crypto::SessionKeyText(4242);
    for (size_t length : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 4096u, 4097u}) {
        std::vector<uint8_t> original(length);
        for (size_t i = 0; i < length; ++i)
            original[i] = static_cast<uint8_t>(i * 7 + length);
        std::vector<uint8_t> data = original;
        CmdDataBuffer encrypted = Cipher().EncryptCmdData(data, key.c_str());
        ASSERT_TRUE(encrypted.Ok());
        ASSERT_EQ(encrypted.Size() % 16, 0u);
        ASSERT_GE(encrypted.Size(), length);
        ASSERT_LT(encrypted.Size(), length + 16);

        CmdDataBuffer decrypted = Cipher().DecryptCmdData(encrypted.Bytes(), key.c_str());
        ASSERT_TRUE(decrypted.Ok());
        EXPECT_FALSE(decrypted.IsNewBuffer());  // whole blocks: in place
        std::vector<uint8_t> expected = original;
        expected.resize(encrypted.Size(), 0);
        EXPECT_EQ(std::vector<uint8_t>(decrypted.Data(), decrypted.Data() + decrypted.Size()),
                  expected)
            << length;

        // Another session's key gives other bytes, not an error.
        std::vector<uint8_t> again = original;
        CmdDataBuffer other = Cipher().EncryptCmdData(again, "0000000000004243");
        ASSERT_TRUE(other.Ok());
        EXPECT_NE(ToHex(other.Data(), other.Size()), ToHex(encrypted.Data(), encrypted.Size()));
    }
}

TEST(CmdDataBuffer, ReleaseHandsTheBufferToTheCaller) {
    std::vector<uint8_t> data(3, 9);
    CmdDataBuffer result = Cipher().EncryptCmdData(data, "01");
    ASSERT_TRUE(result.IsNewBuffer());
    uint8_t* raw = result.Release();
    EXPECT_EQ(raw, result.Data());
    CDataEncryption::FreeBufout(raw);
    CDataEncryption::FreeBufout(nullptr);

    std::vector<uint8_t> block(16, 9);
    CmdDataBuffer inPlace = Cipher().EncryptCmdData(block, "01");
    EXPECT_EQ(inPlace.Release(), nullptr);  // the caller's own data is not handed over
    EXPECT_EQ(inPlace.Data(), block.data());
}

TEST(NewBufout, AllocatesZeroedOnlyWhenNull) {
    DiagCapture diag;
    uint8_t* out = nullptr;
    ASSERT_NE(CDataEncryption::NewBufout(out, 48), nullptr);
    BufoutPtr owned(out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 48), std::vector<uint8_t>(48, 0));
    uint8_t* kept = out;
    EXPECT_EQ(CDataEncryption::NewBufout(out, 48), kept);
    char expected[64];
    std::snprintf(expected, sizeof expected, "NewBufout iLen:48,pbufout=%p\n",
                  static_cast<void*>(kept));
    EXPECT_EQ(diag.Texts(), (std::vector<std::string>{expected, expected}));
}

// The diagnostics name lengths only: payloads carry credentials, and the
// key (the session number) travels in clear, so neither the text nor the
// cipher text may be written.
TEST(CmdData, DiagnosticsTellLengthsNeverContents) {
    std::vector<uint8_t> plain(17);
    std::memcpy(plain.data(), "admin:secret-pass", 17);
    // "hello" under the session key of 16777215, from aes128_ecb.txt.
    std::vector<uint8_t> cipher = FromHex("57e1743bbb6e647838dff624c569e84c");
    DiagCapture diag;
    ASSERT_TRUE(Cipher().EncryptCmdData(plain, "0000000000123456").Ok());
    ASSERT_TRUE(Cipher().DecryptCmdData(cipher, "0000000016777215").Ok());
    const auto texts = diag.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_THAT(texts[0], StartsWith("NewBufout iLen:32,pbufout="));
    EXPECT_EQ(texts[1], "EncryptCmdData:datalen:17,dwOutLen:32\n");
    EXPECT_EQ(texts[2], "DecryptCmdData bRet:0:datalen:16,dwOutLen:16\n");
}

TEST(EncryptCmdData, NothingGoesToStandardOutput) {
    std::vector<uint8_t> data(21, 'x');
    testing::internal::CaptureStdout();
    {
        DiagCapture diag;  // the channel on
        CmdDataBuffer e = Cipher().EncryptCmdData(data, "00");
        CmdDataBuffer d = Cipher().DecryptCmdData(e.Bytes(), "00");
    }
    {
        CmdDataBuffer e = Cipher().EncryptCmdData(data, "00");  // the channel off
        CmdDataBuffer d = Cipher().DecryptCmdData(e.Bytes(), "00");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
