#pragma once
// The 116-byte body of the login request, in the form the device's greeting
// asks for: plain, disguised by a registered cipher, or with the password
// replaced by a digest (and, in digest mode 2, the user name scrambled).
//
//   0   4   0
//   4  32   user name field (zero-terminated)
//  36  32   password field (zero-terminated text, or a 20-byte SHA-1 digest)
//  68   4   nonce (digest modes), 1..0xFFFF00
//  72  32   0
// 104   6   hardware address of the local adapter carrying the session
// 110   6   0

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/session/DeviceGreeting.h"

namespace login {

constexpr size_t kRecordSize = 116;
constexpr size_t kUserOffset = 4;
constexpr size_t kPasswordOffset = 36;
constexpr size_t kNonceOffset = 68;
constexpr size_t kMacOffset = 104;
constexpr size_t kFieldSize = 32;
// A user name or password must leave room for its terminating zero.
constexpr size_t kMaxCredentialLength = kFieldSize - 1;
constexpr uint32_t kNonceModulus = 0xFFFF00;

using Record = std::array<uint8_t, kRecordSize>;

// The source of the nonce's random number; the default is a generator seeded
// once per process from the time.
using RandomSource = std::function<uint32_t()>;
uint32_t ProcessRandom();

// False (record untouched) when the user name or the password is longer than
// kMaxCredentialLength bytes.
bool BuildLoginRecord(const char* user, const char* password, const DeviceGreeting& greeting,
                      const std::array<uint8_t, 6>& localMac, const RandomSource& random, Record& record);

}  // namespace login
