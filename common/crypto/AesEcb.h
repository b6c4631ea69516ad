#pragma once
// AES-128 in ECB mode over whole 16-byte blocks, in place, no padding.

#include <array>
#include <cstddef>
#include <cstdint>

namespace crypto {

using AesKey = std::array<uint8_t, 16>;

// `length` must be a multiple of 16. False when the cipher is unavailable
// or the length is not whole blocks; the buffer's contents are then
// unspecified.
bool AesEcbEncrypt(const AesKey& key, uint8_t* buffer, size_t length);
bool AesEcbDecrypt(const AesKey& key, uint8_t* buffer, size_t length);

}  // namespace crypto
