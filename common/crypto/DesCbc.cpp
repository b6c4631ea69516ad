#include "common/crypto/DesCbc.h"

#include <atomic>
#include <cstring>

#include "common/crypto/CipherBackend.h"
#include "common/platform/Diagnostics.h"

namespace {

constexpr size_t kDesTextBytes = 8;

bool HasEightChars(const char* text) {
    return text != nullptr && strnlen(text, kDesTextBytes) == kDesTextBytes;
}

const uint8_t* Bytes(const char* text) {
    return reinterpret_cast<const uint8_t*>(text);
}

// A missing cipher is a fault of the installation, not of the data: say so
// on the diagnostics channel every time and once on standard error.
void ReportMissingDes() {
    platform::DiagPrintf("DecryptDesCbc: %s, DES-CBC cannot be used\n",
                         crypto::backend::DesUnavailableText());
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        platform::ErrorPrintf("DecryptDesCbc: %s, DES-CBC cannot be used\n",
                              crypto::backend::DesUnavailableText());
    }
}

uint8_t* Failed(const char* text, size_t& outLength) {
    outLength = 0;
    platform::DiagPrintf("%s", text);
    return nullptr;
}

}  // namespace

uint8_t* DecryptDesCbc(const char* ivText, const char* keyText, const uint8_t* data, size_t length,
                       uint8_t* destination, size_t& outLength) {
    static constexpr char kInitError[] = "ERROR in EVP_DecryptInit_ex \n";
    outLength = 0;
    if (!crypto::backend::DesAvailable()) {
        ReportMissingDes();
        return Failed(kInitError, outLength);
    }
    if (!HasEightChars(keyText) || !HasEightChars(ivText) || destination == nullptr ||
        (data == nullptr && length != 0)) {
        return Failed(kInitError, outLength);
    }
    size_t produced = 0;
    switch (crypto::backend::DesCbc(false, Bytes(keyText), Bytes(ivText), data, length, destination,
                                    produced)) {
        case crypto::backend::DesResult::kOk:
            break;
        case crypto::backend::DesResult::kUnavailable:
            ReportMissingDes();
            return Failed(kInitError, outLength);
        case crypto::backend::DesResult::kInitFailed:
            return Failed(kInitError, outLength);
        case crypto::backend::DesResult::kUpdateFailed:
            return Failed("ERROR in EVP_DecryptUpdate\n", outLength);
        case crypto::backend::DesResult::kFinalFailed:
            return Failed("ERROR in EVP_DecryptFinal_ex\n", outLength);
    }
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
    if (!backend::DesAvailable()) {
        ReportMissingDes();
        return false;
    }
    if (!HasEightChars(keyText) || !HasEightChars(ivText)) {
        return false;
    }
    cipher.resize(plain.size() + 8);
    size_t produced = 0;
    if (backend::DesCbc(true, Bytes(keyText), Bytes(ivText), plain.data(), plain.size(),
                        cipher.data(), produced) != backend::DesResult::kOk) {
        cipher.clear();
        return false;
    }
    cipher.resize(produced);
    return true;
}

bool DesCbcAvailable() {
    return backend::DesAvailable();
}

}  // namespace crypto
