#pragma once
// MD5, SHA-1 and SHA-256 digests (the login's password digest, the ONVIF
// password digest, HTTP digest authentication), hexadecimal text and random
// bytes for nonces.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace crypto {

using Md5Digest = std::array<uint8_t, 16>;
using Sha1Digest = std::array<uint8_t, 20>;
using Sha256Digest = std::array<uint8_t, 32>;

// The raw digest bytes of `data`; false (digest zeroed) when the digest is
// unavailable.
bool Md5(std::span<const uint8_t> data, Md5Digest& digest);
bool Sha1(std::span<const uint8_t> data, Sha1Digest& digest);
bool Md5(std::string_view text, Md5Digest& digest);
bool Sha1(std::string_view text, Sha1Digest& digest);
bool Sha256(std::string_view text, Sha256Digest& digest);

// Fills `out` from the cryptographic random generator; false when it failed.
bool RandomBytes(std::span<uint8_t> out);

// Two hexadecimal digits per byte, lower case unless asked otherwise.
std::string HexText(std::span<const uint8_t> bytes, bool upperCase = false);
// The value of one hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

}  // namespace crypto
