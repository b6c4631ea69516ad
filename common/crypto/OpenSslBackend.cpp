// The cipher backend on OpenSSL's libcrypto (EVP), from the program's own
// library context (CryptoLibrary).
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <memory>

#include "common/crypto/CipherBackend.h"
#include "common/crypto/CryptoLibrary.h"

namespace crypto::backend {
namespace {

// EVP takes int lengths: larger buffers go through in pieces of whole blocks.
constexpr size_t kPiece = size_t{1} << 30;

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

template <typename Update>
bool InPieces(size_t length, Update update) {
    for (size_t done = 0; done < length;) {
        const size_t piece = std::min(kPiece, length - done);
        if (!update(done, piece)) {
            return false;
        }
        done += piece;
    }
    return true;
}

bool Digest(const EVP_MD* md, std::span<const uint8_t> data, uint8_t* out, size_t size) {
    unsigned int produced = 0;
    if (md == nullptr || static_cast<size_t>(EVP_MD_get_size(md)) != size ||
        EVP_Digest(data.data(), data.size(), out, &produced, md, nullptr) != 1 ||
        produced != size) {
        ERR_clear_error();
        return false;
    }
    return true;
}

}  // namespace

bool Aes128Ecb(const uint8_t* key, uint8_t* buffer, size_t length, bool encrypt) {
    const EVP_CIPHER* cipher = CryptoLibrary::Get().Aes128Ecb();
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    bool ok = cipher != nullptr && ctx != nullptr &&
              EVP_CipherInit_ex2(ctx.get(), cipher, key, nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1;
    ok = ok && InPieces(length, [&](size_t done, size_t piece) {
             int produced = 0;
             return EVP_CipherUpdate(ctx.get(), buffer + done, &produced, buffer + done,
                                     static_cast<int>(piece)) == 1 &&
                    static_cast<size_t>(produced) == piece;
         });
    if (ok) {
        int produced = 0;
        uint8_t tail[16];
        ok = EVP_CipherFinal_ex(ctx.get(), tail, &produced) == 1 && produced == 0;
    }
    if (!ok) {
        ERR_clear_error();
    }
    return ok;
}

DesResult DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in,
                 size_t length, uint8_t* out, size_t& outLength) {
    outLength = 0;
    const EVP_CIPHER* des = CryptoLibrary::Get().DesCbc();
    if (des == nullptr) {
        return DesResult::kUnavailable;
    }
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (ctx == nullptr ||
        EVP_CipherInit_ex(ctx.get(), des, nullptr, key, iv, encrypt ? 1 : 0) != 1) {
        ERR_clear_error();
        return DesResult::kInitFailed;
    }
    size_t produced = 0;
    const bool updated = InPieces(length, [&](size_t done, size_t piece) {
        int n = 0;
        if (EVP_CipherUpdate(ctx.get(), out + produced, &n, in + done, static_cast<int>(piece)) !=
            1) {
            return false;
        }
        produced += static_cast<size_t>(n);
        return true;
    });
    if (!updated) {
        ERR_clear_error();
        return DesResult::kUpdateFailed;
    }
    int n = 0;
    if (EVP_CipherFinal_ex(ctx.get(), out + produced, &n) != 1) {
        ERR_clear_error();
        return DesResult::kFinalFailed;
    }
    outLength = produced + static_cast<size_t>(n);
    return DesResult::kOk;
}

bool DesAvailable() {
    return CryptoLibrary::Get().DesCbc() != nullptr;
}

const char* DesUnavailableText() {
    return "OpenSSL provider \"legacy\" is not available (check OPENSSL_MODULES)";
}

bool Md5(std::span<const uint8_t> data, uint8_t* out) {
    return Digest(CryptoLibrary::Get().Md5(), data, out, 16);
}

bool Sha1(std::span<const uint8_t> data, uint8_t* out) {
    return Digest(CryptoLibrary::Get().Sha1(), data, out, 20);
}

bool Sha256(std::span<const uint8_t> data, uint8_t* out) {
    return Digest(CryptoLibrary::Get().Sha256(), data, out, 32);
}

bool RandomBytes(std::span<uint8_t> out) {
    if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) {
        ERR_clear_error();
        return false;
    }
    return true;
}

}  // namespace crypto::backend
