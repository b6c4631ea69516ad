#include "common/crypto/AesEcb.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "common/crypto/CryptoLibrary.h"

namespace crypto {
namespace {

constexpr size_t kBlock = 16;
// EVP takes int lengths: larger buffers go through in pieces of whole blocks.
constexpr size_t kPiece = size_t{1} << 30;

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

bool AesEcb(const AesKey& key, uint8_t* buffer, size_t length, int encrypt) {
    if (length % kBlock != 0 || (buffer == nullptr && length != 0)) {
        return false;
    }
    if (length == 0) {
        return true;  // no blocks
    }
    const EVP_CIPHER* cipher = CryptoLibrary::Get().Aes128Ecb();
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    bool ok = cipher != nullptr && ctx != nullptr &&
              EVP_CipherInit_ex2(ctx.get(), cipher, key.data(), nullptr, encrypt, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1;
    for (size_t done = 0; ok && done < length;) {
        const size_t piece = std::min(kPiece, length - done);
        int produced = 0;
        ok = EVP_CipherUpdate(ctx.get(), buffer + done, &produced, buffer + done,
                              static_cast<int>(piece)) == 1 &&
             static_cast<size_t>(produced) == piece;
        done += piece;
    }
    if (ok) {
        int produced = 0;
        uint8_t tail[kBlock];
        ok = EVP_CipherFinal_ex(ctx.get(), tail, &produced) == 1 && produced == 0;
    }
    if (!ok) {
        ERR_clear_error();
    }
    return ok;
}

}  // namespace

bool AesEcbEncrypt(const AesKey& key, uint8_t* buffer, size_t length) {
    return AesEcb(key, buffer, length, 1);
}

bool AesEcbDecrypt(const AesKey& key, uint8_t* buffer, size_t length) {
    return AesEcb(key, buffer, length, 0);
}

}  // namespace crypto
