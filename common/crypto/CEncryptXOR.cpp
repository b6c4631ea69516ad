#include "common/crypto/CEncryptXOR.h"

void CEncryptXOR::Encrypt(std::span<uint8_t> data, std::span<const uint8_t> key) {
    if (key.empty()) {
        return;
    }
    size_t k = 0;
    for (uint8_t& byte : data) {
        byte ^= key[k];
        if (++k == key.size()) {
            k = 0;
        }
    }
}

void CEncryptXOR::Decrypt(std::span<uint8_t> data, std::span<const uint8_t> key) {
    Encrypt(data, key);
}

std::unique_ptr<CEncrypt> CreateEncryptXOR() {
    return std::make_unique<CEncryptXOR>();
}
