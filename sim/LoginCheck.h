#pragma once
// The device's side of the login: reads the 116-byte login record in the
// form its own greeting asked for and checks the credentials against its
// user name and password. Written from the record's layout, independently of
// the program's record builder.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/session/DeviceGreeting.h"

namespace sim {

enum class LoginForm {
    Plain,      // both texts as they are
    Transform,  // both fields disguised by the greeting's cipher
    Digest1,    // the password replaced by SHA-1(MD5 hex + "%08d" session)
    Digest2,    // the same, and the user name scrambled with "%u" of the session
};

const char* LoginFormName(LoginForm form);

struct LoginCheck {
    bool accepted = false;
    LoginForm form = LoginForm::Plain;
    std::string user;  // the user name as the device read it
    uint32_t nonce = 0;
    std::array<uint8_t, 6> mac{};
    std::string problem;  // why it was not accepted (never holds a password)
};

// The form the greeting asks for: a transform first, then the digest modes.
LoginForm FormOf(const DeviceGreeting& greeting);

// Checks a login record (length below 116 is refused) against the device's
// credentials.
LoginCheck CheckLoginRecord(const uint8_t* record, size_t length, const DeviceGreeting& greeting,
                            const std::string& user, const std::string& password);

// The 20-byte password digest of the digest modes.
std::array<uint8_t, 20> PasswordDigest(const std::string& password, uint32_t sessionNumber);

// Digest mode 2's scrambling of the 32-byte user name field, in place: every
// non-zero byte i is XORed with T[i mod |T|], T = "%u" of the session.
// Applying it to a scrambled field undoes it wherever no byte became zero.
void ScrambleUserField(uint8_t* field, uint32_t sessionNumber);

}  // namespace sim
