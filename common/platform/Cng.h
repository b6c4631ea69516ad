#pragma once
// Windows' own ciphers and digests (CNG, bcrypt.dll) for the crypto backend
// of the Windows build. Algorithm providers are opened once per process and
// shared by all threads; every call makes its own key or hash object.
// Windows only.

#include <cstddef>
#include <cstdint>

namespace platform::cng {

// AES-128-ECB over whole 16-byte blocks, in place.
bool Aes128Ecb(const uint8_t* key, uint8_t* buffer, size_t length, bool encrypt);

// DES-CBC over whole 8-byte blocks, no padding: `in` to `out` (length bytes
// each). Done as triple DES with the key three times, which equals single
// DES and which every CNG offers (Wine's has no single DES).
bool DesCbcBlocks(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out);

// MD5 (16 bytes into out), SHA-1 (20 bytes) and SHA-256 (32 bytes).
bool Md5(const uint8_t* data, size_t length, uint8_t* out);
bool Sha1(const uint8_t* data, size_t length, uint8_t* out);
bool Sha256(const uint8_t* data, size_t length, uint8_t* out);

// Bytes from the system's preferred random generator.
bool RandomBytes(uint8_t* out, size_t length);

}  // namespace platform::cng
