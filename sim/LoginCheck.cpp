#include "sim/LoginCheck.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/crypto/CipherRegistry.h"
#include "common/crypto/Digest.h"
#include "common/platform/ByteOrder.h"

namespace sim {

namespace {

constexpr size_t kRecordSize = 116;
constexpr size_t kUserOffset = 4;
constexpr size_t kPasswordOffset = 36;
constexpr size_t kNonceOffset = 68;
constexpr size_t kMacOffset = 104;
constexpr size_t kField = 32;
constexpr uint32_t kNonceMax = 0xFFFF00;

// The zero-terminated text of a field; false when the field has no zero.
bool FieldText(const uint8_t* field, std::string& text) {
    const void* zero = std::memchr(field, 0, kField);
    if (zero == nullptr) {
        return false;
    }
    text.assign(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(zero) - field);
    return true;
}

bool AllZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

std::array<uint8_t, kField> UserField(const std::string& user) {
    std::array<uint8_t, kField> field{};
    std::memcpy(field.data(), user.data(), std::min(user.size(), kField - 1));
    return field;
}

}  // namespace

const char* LoginFormName(LoginForm form) {
    switch (form) {
        case LoginForm::Plain:
            return "plain";
        case LoginForm::Transform:
            return "transform";
        case LoginForm::Digest1:
            return "digest1";
        case LoginForm::Digest2:
            return "digest2";
    }
    return "plain";
}

LoginForm FormOf(const DeviceGreeting& greeting) {
    if (greeting.NameTransformMode() != 0) {
        return LoginForm::Transform;
    }
    switch (greeting.DigestMode()) {
        case 1:
            return LoginForm::Digest1;
        case 2:
            return LoginForm::Digest2;
        default:
            return LoginForm::Plain;
    }
}

std::array<uint8_t, 20> PasswordDigest(const std::string& password, uint32_t sessionNumber) {
    crypto::Md5Digest md5{};
    crypto::Md5(std::string_view(password), md5);
    char session[16];
    std::snprintf(session, sizeof session, "%08u", sessionNumber);
    const std::string text = crypto::HexText(md5, true) + session;
    crypto::Sha1Digest sha{};
    crypto::Sha1(std::string_view(text), sha);
    return sha;
}

void ScrambleUserField(uint8_t* field, uint32_t sessionNumber) {
    char t[16];
    const int n = std::snprintf(t, sizeof t, "%u", sessionNumber);
    for (size_t i = 0; i < kField; ++i) {
        if (field[i] != 0) {
            field[i] = static_cast<uint8_t>(field[i] ^
                                            static_cast<uint8_t>(t[i % static_cast<size_t>(n)]));
        }
    }
}

LoginCheck CheckLoginRecord(const uint8_t* record, size_t length, const DeviceGreeting& greeting,
                            const std::string& user, const std::string& password) {
    LoginCheck check;
    check.form = FormOf(greeting);
    if (record == nullptr || length < kRecordSize) {
        check.problem = "login record shorter than 116 bytes";
        return check;
    }
    check.nonce = byteorder::ReadLe32(record + kNonceOffset);
    std::memcpy(check.mac.data(), record + kMacOffset, check.mac.size());

    uint8_t userField[kField];
    uint8_t passwordField[kField];
    std::memcpy(userField, record + kUserOffset, kField);
    std::memcpy(passwordField, record + kPasswordOffset, kField);
    const uint32_t session = greeting.SessionNumber();

    switch (check.form) {
        case LoginForm::Transform: {
            // The program enciphers the name with its zero and the whole
            // password field; deciphering the whole name field is harmless,
            // since the name's own zero comes back first.
            if (auto cipher = crypto::CreateCipher(greeting.NameTransformMode())) {
                const auto key = greeting.NameTransformKey();
                cipher->Decrypt(std::span<uint8_t>(userField, kField), key);
                cipher->Decrypt(std::span<uint8_t>(passwordField, kField), key);
            }
            std::string gotPassword;
            if (!FieldText(userField, check.user) || !FieldText(passwordField, gotPassword)) {
                check.problem = "a deciphered field has no terminating zero";
                return check;
            }
            if (check.user != user || gotPassword != password) {
                check.problem = "wrong user name or password";
                return check;
            }
            break;
        }
        case LoginForm::Digest1:
        case LoginForm::Digest2: {
            if (check.form == LoginForm::Digest2) {
                // A name byte equal to the digit it meets scrambles to zero
                // and cannot be told from the end of the name; the device
                // then compares the scrambled fields instead.
                std::array<uint8_t, kField> expected = UserField(user);
                ScrambleUserField(expected.data(), session);
                const bool sameScrambled = std::memcmp(expected.data(), userField, kField) == 0;
                ScrambleUserField(userField, session);
                FieldText(userField, check.user);
                if (check.user != user && sameScrambled) {
                    check.user = user;
                }
            } else if (!FieldText(userField, check.user)) {
                check.problem = "the user name field has no terminating zero";
                return check;
            }
            if (check.nonce == 0 || check.nonce > kNonceMax) {
                check.problem = "nonce outside 1..0xFFFF00";
                return check;
            }
            const auto digest = PasswordDigest(password, session);
            if (check.user != user ||
                std::memcmp(passwordField, digest.data(), digest.size()) != 0 ||
                !AllZero(passwordField + digest.size(), kField - digest.size())) {
                check.problem = "wrong user name or password";
                return check;
            }
            break;
        }
        case LoginForm::Plain: {
            std::string gotPassword;
            if (!FieldText(userField, check.user) || !FieldText(passwordField, gotPassword)) {
                check.problem = "a field has no terminating zero";
                return check;
            }
            if (check.user != user || gotPassword != password) {
                check.problem = "wrong user name or password";
                return check;
            }
            break;
        }
    }
    check.accepted = true;
    return check;
}

}  // namespace sim
