#pragma once
// DES-CBC decryption of the factory configuration package's blocks, with
// standard block padding removed at the end, and the encryption that makes
// them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The fixed key and initialisation-vector texts of the package's blocks;
// DES uses the first 8 characters of each.
inline constexpr char kFacDesKeyText[] = "ylcudkgfjiwqxmze";
inline constexpr char kFacDesIvText[] = "hqwzpexmrtvbnaso";

// Decrypts `length` bytes of `data` into `destination`, which must hold
// `length` + 1 bytes: the plain bytes, then a zero byte. Sets `outLength` to
// the plain length and returns `destination`; on failure returns null with
// `outLength` 0 after printing on the diagnostics channel
// "ERROR in EVP_DecryptInit_ex \n" (also for a key or IV text shorter than 8
// characters, a null buffer, or a missing cipher, such as OpenSSL's
// "legacy" provider, which is named in a line before it),
// "ERROR in EVP_DecryptUpdate\n", or "ERROR in EVP_DecryptFinal_ex\n" (bad
// padding, wrong key, a length that is not whole 8-byte blocks).
uint8_t* DecryptDesCbc(const char* ivText, const char* keyText, const uint8_t* data, size_t length,
                       uint8_t* destination, size_t& outLength);

namespace crypto {

// The same for C++ callers: `plain` is resized to the plain bytes (no
// trailing zero). False on failure, with `plain` empty.
bool DecryptDesCbc(const char* ivText, const char* keyText, std::span<const uint8_t> data,
                   std::vector<uint8_t>& plain);

// The package tool's side: enciphers `plain` with DES-CBC and standard
// block padding, so `cipher` is 1 to 8 bytes longer, a whole number of
// 8-byte blocks. False on failure (cipher unavailable, key or IV text
// shorter than 8 characters), with `cipher` empty.
bool EncryptDesCbc(const char* ivText, const char* keyText, std::span<const uint8_t> plain,
                   std::vector<uint8_t>& cipher);

// False when the system's crypto library offers no DES (OpenSSL without its
// "legacy" provider).
bool DesCbcAvailable();

}  // namespace crypto
