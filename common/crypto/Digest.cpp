#include "common/crypto/Digest.h"

#include "common/crypto/CipherBackend.h"

namespace crypto {
namespace {

template <size_t N>
bool Digest(bool (*compute)(std::span<const uint8_t>, uint8_t*), std::span<const uint8_t> data,
            std::array<uint8_t, N>& digest) {
    if (!compute(data, digest.data())) {
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
    return Digest(backend::Md5, data, digest);
}

bool Sha1(std::span<const uint8_t> data, Sha1Digest& digest) {
    return Digest(backend::Sha1, data, digest);
}

bool Md5(std::string_view text, Md5Digest& digest) {
    return Md5(BytesOf(text), digest);
}

bool Sha1(std::string_view text, Sha1Digest& digest) {
    return Sha1(BytesOf(text), digest);
}

bool Sha256(std::string_view text, Sha256Digest& digest) {
    return Digest(backend::Sha256, BytesOf(text), digest);
}

bool RandomBytes(std::span<uint8_t> out) {
    return out.empty() || backend::RandomBytes(out);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
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
