#include "common/crypto/DesCbc.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/crypto/CryptoLibrary.h"
#include "common/platform/Diagnostics.h"

namespace {

constexpr size_t kDesTextBytes = 8;
// EVP takes int lengths: larger inputs go through in pieces of whole blocks.
constexpr size_t kPiece = size_t{1} << 30;

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

bool HasEightChars(const char* text) {
    return text != nullptr && strnlen(text, kDesTextBytes) == kDesTextBytes;
}

// A missing provider is a fault of the installation, not of the data: say
// so on the diagnostics channel every time and once on standard error.
void ReportMissingLegacy() {
    platform::DiagPrintf(
        "DecryptDesCbc: OpenSSL provider \"legacy\" is not available, DES-CBC cannot be "
        "used\n");
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        platform::ErrorPrintf(
            "DecryptDesCbc: OpenSSL provider \"legacy\" is not available (check "
            "OPENSSL_MODULES), DES-CBC cannot be used\n");
    }
}

uint8_t* Failed(const char* text, size_t& outLength) {
    ERR_clear_error();
    outLength = 0;
    platform::DiagPrintf("%s", text);
    return nullptr;
}

}  // namespace

uint8_t* DecryptDesCbc(const char* ivText, const char* keyText, const uint8_t* data, size_t length,
                       uint8_t* destination, size_t& outLength) {
    static constexpr char kInitError[] = "ERROR in EVP_DecryptInit_ex \n";
    outLength = 0;
    const EVP_CIPHER* cipher = crypto::CryptoLibrary::Get().DesCbc();
    if (cipher == nullptr) {
        ReportMissingLegacy();
        return Failed(kInitError, outLength);
    }
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (ctx == nullptr || !HasEightChars(keyText) || !HasEightChars(ivText) ||
        destination == nullptr || (data == nullptr && length != 0) ||
        EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, reinterpret_cast<const uint8_t*>(keyText),
                           reinterpret_cast<const uint8_t*>(ivText)) != 1) {
        return Failed(kInitError, outLength);
    }
    size_t produced = 0;
    for (size_t done = 0; done < length;) {
        const size_t piece = std::min(kPiece, length - done);
        int n = 0;
        if (EVP_DecryptUpdate(ctx.get(), destination + produced, &n, data + done,
                              static_cast<int>(piece)) != 1) {
            return Failed("ERROR in EVP_DecryptUpdate\n", outLength);
        }
        produced += static_cast<size_t>(n);
        done += piece;
    }
    int n = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), destination + produced, &n) != 1) {
        return Failed("ERROR in EVP_DecryptFinal_ex\n", outLength);
    }
    produced += static_cast<size_t>(n);
    destination[produced] = 0;
    outLength = produced;
    return destination;
}

namespace crypto {

bool DecryptDesCbc(const char* ivText, const char* keyText, std::span<const uint8_t> data,
                   std::vector<uint8_t>& plain) {
    plain.assign(data.size() + 1, 0);
    size_t plainLength = 0;
    if (::DecryptDesCbc(ivText, keyText, data.data(), data.size(), plain.data(), plainLength) ==
        nullptr) {
        plain.clear();
        return false;
    }
    plain.resize(plainLength);
    return true;
}

bool EncryptDesCbc(const char* ivText, const char* keyText, std::span<const uint8_t> plain,
                   std::vector<uint8_t>& cipher) {
    cipher.clear();
    const EVP_CIPHER* des = CryptoLibrary::Get().DesCbc();
    if (des == nullptr) {
        ReportMissingLegacy();
        return false;
    }
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (ctx == nullptr || !HasEightChars(keyText) || !HasEightChars(ivText) ||
        EVP_EncryptInit_ex(ctx.get(), des, nullptr, reinterpret_cast<const uint8_t*>(keyText),
                           reinterpret_cast<const uint8_t*>(ivText)) != 1) {
        ERR_clear_error();
        return false;
    }
    cipher.resize(plain.size() + 8);
    size_t produced = 0;
    for (size_t done = 0; done < plain.size();) {
        const size_t piece = std::min(kPiece, plain.size() - done);
        int n = 0;
        if (EVP_EncryptUpdate(ctx.get(), cipher.data() + produced, &n, plain.data() + done,
                              static_cast<int>(piece)) != 1) {
            ERR_clear_error();
            cipher.clear();
            return false;
        }
        produced += static_cast<size_t>(n);
        done += piece;
    }
    int n = 0;
    if (EVP_EncryptFinal_ex(ctx.get(), cipher.data() + produced, &n) != 1) {
        ERR_clear_error();
        cipher.clear();
        return false;
    }
    cipher.resize(produced + static_cast<size_t>(n));
    return true;
}

}  // namespace crypto
