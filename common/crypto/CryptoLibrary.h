#pragma once
// The program's own OpenSSL library context: the "default" provider and,
// for DES, the "legacy" one, loaded once per process on first use
// (thread-safe) and kept until the process ends. Ciphers and digests are
// fetched from it once and shared by all threads; each operation makes its
// own EVP context.

#include <openssl/types.h>

namespace crypto {

class CryptoLibrary {
public:
    static const CryptoLibrary& Get();

    // Null when the "default" provider could not be loaded.
    const EVP_CIPHER* Aes128Ecb() const { return m_aes128Ecb; }
    const EVP_MD* Md5() const { return m_md5; }
    const EVP_MD* Sha1() const { return m_sha1; }
    const EVP_MD* Sha256() const { return m_sha256; }
    // Null when the "legacy" provider is missing.
    const EVP_CIPHER* DesCbc() const { return m_desCbc; }

    bool HasLegacyProvider() const { return m_legacy != nullptr; }

    CryptoLibrary(const CryptoLibrary&) = delete;
    CryptoLibrary& operator=(const CryptoLibrary&) = delete;

private:
    CryptoLibrary();
    ~CryptoLibrary() = delete;  // lives until the process ends

    OSSL_LIB_CTX* m_context = nullptr;
    OSSL_PROVIDER* m_default = nullptr;
    OSSL_PROVIDER* m_legacy = nullptr;
    EVP_CIPHER* m_aes128Ecb = nullptr;
    EVP_CIPHER* m_desCbc = nullptr;
    EVP_MD* m_md5 = nullptr;
    EVP_MD* m_sha1 = nullptr;
    EVP_MD* m_sha256 = nullptr;
};

}  // namespace crypto
