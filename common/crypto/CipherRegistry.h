#pragma once
// The process-wide cipher registry: cipher identifier -> creator. Filled
// before main runs and only read afterwards; the device's greeting names the
// identifier to use at login.

#include <cstdint>
#include <memory>
#include <span>

#include "common/crypto/CEncrypt.h"

// The XOR cipher (CEncryptXOR), the only built-in entry.
inline constexpr uint32_t kCipherIdXor = 0x10000;

using CipherCreator = std::unique_ptr<CEncrypt> (*)();

namespace crypto {

// Adds an entry; false when the identifier is taken or the creator is null.
bool RegisterCipher(uint32_t cipherId, CipherCreator creator);

// A new cipher of the registered kind; null when the identifier is unknown.
std::unique_ptr<CEncrypt> CreateCipher(uint32_t cipherId);

}  // namespace crypto

// Encrypts `data` in place with a cipher made for this one call: the
// registered one, or a plain CEncrypt (which reports "CEncrypt" on the
// diagnostics channel and changes nothing) when the identifier is unknown.
void EncryptWithCipher(std::span<uint8_t> data, std::span<const uint8_t> key, uint32_t cipherId);
