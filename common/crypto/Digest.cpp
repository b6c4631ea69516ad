#include "common/crypto/Digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "common/crypto/CryptoLibrary.h"

namespace crypto {
namespace {

template <size_t N>
bool Digest(const EVP_MD* md, std::span<const uint8_t> data, std::array<uint8_t, N>& digest) {
    digest.fill(0);
    unsigned int size = 0;
    if (md == nullptr || static_cast<size_t>(EVP_MD_get_size(md)) != N ||
        EVP_Digest(data.data(), data.size(), digest.data(), &size, md, nullptr) != 1 || size != N) {
        ERR_clear_error();
        digest.fill(0);
        return false;
    }
    return true;
}

std::span<const uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool Md5(std::span<const uint8_t> data, Md5Digest& digest) {
    return Digest(CryptoLibrary::Get().Md5(), data, digest);
}

bool Sha1(std::span<const uint8_t> data, Sha1Digest& digest) {
    return Digest(CryptoLibrary::Get().Sha1(), data, digest);
}

bool Md5(std::string_view text, Md5Digest& digest) {
    return Md5(BytesOf(text), digest);
}

bool Sha1(std::string_view text, Sha1Digest& digest) {
    return Sha1(BytesOf(text), digest);
}

bool Sha256(std::string_view text, Sha256Digest& digest) {
    return Digest(CryptoLibrary::Get().Sha256(), BytesOf(text), digest);
}

bool RandomBytes(std::span<uint8_t> out) {
    if (out.empty()) {
        return true;
    }
    if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) {
        ERR_clear_error();
        return false;
    }
    return true;
}

std::string HexText(std::span<const uint8_t> bytes, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 0x0F]);
    }
    return text;
}

}  // namespace crypto
