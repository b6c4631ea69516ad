#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "CryptoTestSupport.h"
#include "common/crypto/CEncryptXOR.h"
#include "common/crypto/CipherRegistry.h"

namespace {

using crypto_test::DiagCapture;

// Looked up while this file's statics are initialised, before main: the
// XOR entry must already be there whatever the order of initialisation.
const bool g_xorKnownBeforeMain = crypto::CreateCipher(kCipherIdXor) != nullptr;

TEST(CipherRegistry, XorCipherIsRegisteredBeforeMain) {
    EXPECT_TRUE(g_xorKnownBeforeMain);
    std::unique_ptr<CEncrypt> cipher = crypto::CreateCipher(0x10000);
    ASSERT_NE(cipher, nullptr);
    EXPECT_NE(dynamic_cast<CEncryptXOR*>(cipher.get()), nullptr);
}

TEST(CipherRegistry, EachLookupMakesAFreshCipher) {
    auto first = crypto::CreateCipher(kCipherIdXor);
    auto second = crypto::CreateCipher(kCipherIdXor);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first.get(), second.get());
}

TEST(XorCipher, KeyCyclesOverTheData) {
    // Over zero bytes the output is the key stream itself.
    std::vector<uint8_t> data(10, 0);
    const std::array<uint8_t, 4> key{0xA1, 0xB2, 0xC3, 0xD4};
    CEncryptXOR().Encrypt(data, key);
    EXPECT_EQ(data,
              (std::vector<uint8_t>{0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2}));

    std::vector<uint8_t> text{'a', 'd', 'm', 'i', 'n', 0};
    const std::array<uint8_t, 2> shortKey{0x01, 0x20};
    CEncryptXOR().Encrypt(text, shortKey);
    EXPECT_EQ(text, (std::vector<uint8_t>{'a' ^ 0x01, 'd' ^ 0x20, 'm' ^ 0x01, 'i' ^ 0x20,
                                          'n' ^ 0x01, 0x20}));
}

TEST(XorCipher, IsItsOwnInverse) {
    const std::vector<uint8_t> original{'7', '3', '9', '1', '6', '4', 0, 0, 0xFF, 0x80, 0x00};
    const std::array<uint8_t, 4> key{0x12, 0x34, 0x56, 0x78};
    std::vector<uint8_t> data = original;
    CEncryptXOR xorCipher;
    xorCipher.Encrypt(data, key);
    EXPECT_NE(data, original);
    xorCipher.Encrypt(data, key);
    EXPECT_EQ(data, original);
    xorCipher.Encrypt(data, key);
    xorCipher.Decrypt(data, key);
    EXPECT_EQ(data, original);
}

TEST(XorCipher, EmptyKeyOrDataChangesNothing) {
    const std::vector<uint8_t> original{1, 2, 3, 4, 5};
    std::vector<uint8_t> data = original;
    CEncryptXOR().Encrypt(data, std::span<const uint8_t>());
    EXPECT_EQ(data, original);
    CEncryptXOR().Decrypt(data, std::span<const uint8_t>());
    EXPECT_EQ(data, original);
    std::vector<uint8_t> empty;
    const std::array<uint8_t, 4> key{9, 9, 9, 9};
    CEncryptXOR().Encrypt(empty, key);
    EXPECT_TRUE(empty.empty());
}

TEST(EncryptWithCipher, UsesTheRegisteredCipher) {
    std::vector<uint8_t> data{'u', 's', 'e', 'r', 0};
    const std::array<uint8_t, 4> key{0x10, 0x20, 0x30, 0x40};
    DiagCapture diag;
    EncryptWithCipher(data, key, kCipherIdXor);
    EXPECT_EQ(data, (std::vector<uint8_t>{'u' ^ 0x10, 's' ^ 0x20, 'e' ^ 0x30, 'r' ^ 0x40, 0x10}));
    EXPECT_TRUE(diag.Texts().empty());
}

TEST(EncryptWithCipher, UnknownIdentifierLeavesDataAndSaysCEncrypt) {
    const std::vector<uint8_t> original{'a', 'd', 'm', 'i', 'n', 0};
    const std::array<uint8_t, 4> key{1, 2, 3, 4};
    for (uint32_t id : {0u, 1u, 0xFFFFu, 0x10001u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> data = original;
        DiagCapture diag;
        EncryptWithCipher(data, key, id);
        EXPECT_EQ(data, original) << id;
        EXPECT_EQ(diag.Texts(), std::vector<std::string>{"CEncrypt\n"}) << id;
    }
}

TEST(CEncryptBase, DecryptDoesNothingQuietly) {
    std::vector<uint8_t> data{1, 2, 3};
    const std::array<uint8_t, 1> key{7};
    DiagCapture diag;
    CEncrypt().Decrypt(data, key);
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(diag.Texts().empty());
}

class AddOneCipher : public CEncrypt {
public:
    void Encrypt(std::span<uint8_t> data, std::span<const uint8_t> /*key*/) override {
        for (uint8_t& b : data)
            ++b;
    }
};

std::unique_ptr<CEncrypt> CreateAddOne() {
    return std::make_unique<AddOneCipher>();
}
std::unique_ptr<CEncrypt> CreateNothing() {
    return nullptr;
}

TEST(CipherRegistry, RegistersNewIdentifiersButNeverReplacesOne) {
    constexpr uint32_t kTestId = 0x7E570001;
    EXPECT_FALSE(crypto::RegisterCipher(kCipherIdXor, &CreateAddOne));
    EXPECT_FALSE(crypto::RegisterCipher(kTestId + 1, nullptr));
    EXPECT_TRUE(crypto::RegisterCipher(kTestId, &CreateAddOne));
    EXPECT_FALSE(crypto::RegisterCipher(kTestId, &CreateAddOne));

    std::vector<uint8_t> data{1, 2, 3};
    EncryptWithCipher(data, std::span<const uint8_t>(), kTestId);
    EXPECT_EQ(data, (std::vector<uint8_t>{2, 3, 4}));

    // The XOR entry is still the XOR cipher.
    auto cipher = crypto::CreateCipher(kCipherIdXor);
    EXPECT_NE(dynamic_cast<CEncryptXOR*>(cipher.get()), nullptr);
}

TEST(EncryptWithCipher, CreatorGivingNothingFallsBackToTheBase) {
    constexpr uint32_t kTestId = 0x7E570010;
    ASSERT_TRUE(crypto::RegisterCipher(kTestId, &CreateNothing));
    std::vector<uint8_t> data{5, 6};
    DiagCapture diag;
    EncryptWithCipher(data, std::span<const uint8_t>(), kTestId);
    EXPECT_EQ(data, (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(diag.Texts(), std::vector<std::string>{"CEncrypt\n"});
}

}  // namespace
