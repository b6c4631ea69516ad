#include "common/crypto/AesEcb.h"

#include "common/crypto/CipherBackend.h"

namespace crypto {
namespace {

constexpr size_t kBlock = 16;

bool AesEcb(const AesKey& key, uint8_t* buffer, size_t length, bool encrypt) {
    if (length % kBlock != 0 || (buffer == nullptr && length != 0)) {
        return false;
    }
    if (length == 0) {
        return true;  // no blocks
    }
    return backend::Aes128Ecb(key.data(), buffer, length, encrypt);
}

}  // namespace

bool AesEcbEncrypt(const AesKey& key, uint8_t* buffer, size_t length) {
    return AesEcb(key, buffer, length, true);
}

bool AesEcbDecrypt(const AesKey& key, uint8_t* buffer, size_t length) {
    return AesEcb(key, buffer, length, false);
}

}  // namespace crypto
