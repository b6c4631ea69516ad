#include "common/session/LoginRecord.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <span>
#include <string>

#include "common/crypto/CipherRegistry.h"
#include "common/crypto/Digest.h"
#include "common/link/LinkFrames.h"

namespace login {
namespace {

void DisguiseWithCipher(Record& record, const char* user, const DeviceGreeting& greeting) {
    const std::array<uint8_t, 4> key = greeting.NameTransformKey();
    const uint32_t cipherId = greeting.NameTransformMode();
    // The user name with its terminating zero, then the whole password field;
    // each field is cleared and the result written from its start.
    std::array<uint8_t, kFieldSize> name{};
    const size_t nameLength = std::strlen(user) + 1;
    std::memcpy(name.data(), user, nameLength);
    EncryptWithCipher(std::span<uint8_t>(name.data(), nameLength), key, cipherId);
    std::memset(record.data() + kUserOffset, 0, kFieldSize);
    std::memcpy(record.data() + kUserOffset, name.data(), nameLength);

    std::array<uint8_t, kFieldSize> password{};
    std::memcpy(password.data(), record.data() + kPasswordOffset, kFieldSize);
    EncryptWithCipher(password, key, cipherId);
    std::memcpy(record.data() + kPasswordOffset, password.data(), kFieldSize);
}

void ReplacePasswordByDigest(Record& record, const char* password, uint32_t sessionNumber) {
    crypto::Md5Digest md5{};
    crypto::Md5(std::string_view(password), md5);
    char number[16];
    std::snprintf(number, sizeof number, "%08u", sessionNumber);
    const std::string text = crypto::HexText(md5, true) + number;
    crypto::Sha1Digest sha1{};
    crypto::Sha1(std::string_view(text), sha1);
    std::memset(record.data() + kPasswordOffset, 0, kFieldSize);
    std::memcpy(record.data() + kPasswordOffset, sha1.data(), sha1.size());
}

void ScrambleUserName(Record& record, uint32_t sessionNumber) {
    char t[16];
    const int tLength = std::snprintf(t, sizeof t, "%u", sessionNumber);
    for (size_t i = 0; i < kFieldSize; ++i) {
        uint8_t& b = record[kUserOffset + i];
        if (b != 0) {
            b ^= static_cast<uint8_t>(t[i % static_cast<size_t>(tLength)]);
        }
    }
}

}  // namespace

uint32_t ProcessRandom() {
    static std::mutex mutex;
    static std::mt19937 generator(
        static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    std::lock_guard<std::mutex> lock(mutex);
    return generator();
}

bool BuildLoginRecord(const char* user, const char* password, const DeviceGreeting& greeting,
                      const std::array<uint8_t, 6>& localMac, const RandomSource& random, Record& record) {
    if (user == nullptr) {
        user = "";
    }
    if (password == nullptr) {
        password = "";
    }
    const size_t userLength = std::strlen(user);
    const size_t passwordLength = std::strlen(password);
    if (userLength > kMaxCredentialLength || passwordLength > kMaxCredentialLength) {
        return false;
    }
    record.fill(0);
    std::memcpy(record.data() + kMacOffset, localMac.data(), localMac.size());
    std::memcpy(record.data() + kUserOffset, user, userLength);
    std::memcpy(record.data() + kPasswordOffset, password, passwordLength);

    const uint8_t digestMode = greeting.DigestMode();
    if (greeting.NameTransformMode() != 0) {
        // The transform takes precedence: no digest is made.
        DisguiseWithCipher(record, user, greeting);
    } else if (digestMode == 1 || digestMode == 2) {
        const uint32_t session = greeting.SessionNumber();
        ReplacePasswordByDigest(record, password, session);
        const uint32_t r = random ? random() : ProcessRandom();
        tcplink::WriteLe32(record.data() + kNonceOffset, r % kNonceModulus + 1);
        if (digestMode == 2) {
            ScrambleUserName(record, session);
        }
    }
    return true;
}

}  // namespace login
