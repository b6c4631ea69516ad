#pragma once
// The primitives under AesEcb, DesCbc and Digest, from the system's crypto
// library: OpenSSL's libcrypto on Linux (OpenSslBackend.cpp), Windows' own
// CNG on Windows (CngBackend.cpp). The callers check their arguments; the
// known answers in tests/data/crypto hold for both.

#include <cstddef>
#include <cstdint>
#include <span>

namespace crypto::backend {

// AES-128 in ECB mode over `length` bytes in place; `length` is a non-zero
// multiple of 16.
bool Aes128Ecb(const uint8_t* key, uint8_t* buffer, size_t length, bool encrypt);

// DES-CBC with standard (PKCS#7) padding, which encrypting adds and
// decrypting checks and removes; the step that failed.
enum class DesResult { kOk, kUnavailable, kInitFailed, kUpdateFailed, kFinalFailed };

// key and iv are 8 bytes. out holds length bytes when decrypting, length + 8
// when encrypting; outLength is set to the bytes produced. A decryption
// whose input is not whole blocks or whose padding is wrong fails at
// kFinalFailed.
DesResult DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in,
                 size_t length, uint8_t* out, size_t& outLength);

// False when DES cannot be used at all (OpenSSL without its "legacy"
// provider); DesUnavailableText says why, for the error print.
bool DesAvailable();
const char* DesUnavailableText();

// Digests of data into out (16 bytes for MD5, 20 for SHA-1, 32 for SHA-256).
bool Md5(std::span<const uint8_t> data, uint8_t* out);
bool Sha1(std::span<const uint8_t> data, uint8_t* out);
bool Sha256(std::span<const uint8_t> data, uint8_t* out);

// Fills out from the system's cryptographic random generator.
bool RandomBytes(std::span<uint8_t> out);

}  // namespace crypto::backend
