#include "common/crypto/CryptoLibrary.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

namespace crypto {

CryptoLibrary::CryptoLibrary() {
    m_context = OSSL_LIB_CTX_new();
    if (m_context != nullptr) {
        m_default = OSSL_PROVIDER_load(m_context, "default");
        m_legacy = OSSL_PROVIDER_load(m_context, "legacy");
    }
    if (m_default != nullptr) {
        m_aes128Ecb = EVP_CIPHER_fetch(m_context, "AES-128-ECB", nullptr);
        m_md5 = EVP_MD_fetch(m_context, "MD5", nullptr);
        m_sha1 = EVP_MD_fetch(m_context, "SHA1", nullptr);
        m_sha256 = EVP_MD_fetch(m_context, "SHA256", nullptr);
    }
    if (m_legacy != nullptr) {
        m_desCbc = EVP_CIPHER_fetch(m_context, "DES-CBC", nullptr);
    }
    // A missing provider is reported where it matters (DecryptDesCbc); its
    // queued errors must not surface in unrelated calls on this thread.
    ERR_clear_error();
}

const CryptoLibrary& CryptoLibrary::Get() {
    // Never destroyed: threads may still encrypt while statics are torn down.
    static const CryptoLibrary* library = new CryptoLibrary;
    return *library;
}

}  // namespace crypto
