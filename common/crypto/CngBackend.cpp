// The cipher backend on Windows' CNG (common/platform/Cng.h). CNG's DES runs
// without padding here: the standard padding is added and checked below, so
// a bad padding fails exactly where OpenSSL's check does.
#include <cstring>

#include "common/crypto/CipherBackend.h"
#include "common/platform/Cng.h"

namespace crypto::backend {
namespace {

constexpr size_t kDesBlock = 8;

}  // namespace

bool Aes128Ecb(const uint8_t* key, uint8_t* buffer, size_t length, bool encrypt) {
    return platform::cng::Aes128Ecb(key, buffer, length, encrypt);
}

DesResult DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in,
                 size_t length, uint8_t* out, size_t& outLength) {
    outLength = 0;
    if (encrypt) {
        // 1 to 8 bytes of padding, each holding the padding's length.
        const size_t padding = kDesBlock - length % kDesBlock;
        if (length > 0) {
            std::memmove(out, in, length);
        }
        std::memset(out + length, static_cast<int>(padding), padding);
        if (!platform::cng::DesCbcBlocks(true, key, iv, out, length + padding, out)) {
            return DesResult::kUpdateFailed;
        }
        outLength = length + padding;
        return DesResult::kOk;
    }
    if (length == 0 || length % kDesBlock != 0) {
        return DesResult::kFinalFailed;
    }
    if (!platform::cng::DesCbcBlocks(false, key, iv, in, length, out)) {
        return DesResult::kUpdateFailed;
    }
    const uint8_t padding = out[length - 1];
    if (padding == 0 || padding > kDesBlock) {
        return DesResult::kFinalFailed;
    }
    for (size_t i = length - padding; i < length; ++i) {
        if (out[i] != padding) {
            return DesResult::kFinalFailed;
        }
    }
    outLength = length - padding;
    return DesResult::kOk;
}

bool DesAvailable() {
    return true;
}

const char* DesUnavailableText() {
    return "DES is not available";
}

bool Md5(std::span<const uint8_t> data, uint8_t* out) {
    return platform::cng::Md5(data.data(), data.size(), out);
}

bool Sha1(std::span<const uint8_t> data, uint8_t* out) {
    return platform::cng::Sha1(data.data(), data.size(), out);
}

bool Sha256(std::span<const uint8_t> data, uint8_t* out) {
    return platform::cng::Sha256(data.data(), data.size(), out);
}

bool RandomBytes(std::span<uint8_t> out) {
    return platform::cng::RandomBytes(out.data(), out.size());
}

}  // namespace crypto::backend
