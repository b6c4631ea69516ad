#include "common/crypto/CEncrypt.h"

#include "common/platform/Diagnostics.h"

void CEncrypt::Encrypt(std::span<uint8_t> /*data*/, std::span<const uint8_t> /*key*/) {
    platform::DiagPrintf("CEncrypt\n");
}

void CEncrypt::Decrypt(std::span<uint8_t> /*data*/, std::span<const uint8_t> /*key*/) {}
