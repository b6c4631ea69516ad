#pragma once
// The XOR cipher: every data byte is XORed with the key bytes taken in turn,
// starting again at the first key byte after the last. Its own inverse.

#include <memory>

#include "common/crypto/CEncrypt.h"

class CEncryptXOR : public CEncrypt {
public:
    // An empty key leaves the data unchanged (XOR with nothing), where a
    // key index taken modulo the key length would divide by zero.
    void Encrypt(std::span<uint8_t> data, std::span<const uint8_t> key) override;
    void Decrypt(std::span<uint8_t> data, std::span<const uint8_t> key) override;
};

// The registry's creator for this cipher.
std::unique_ptr<CEncrypt> CreateEncryptXOR();
