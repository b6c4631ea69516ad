#include "common/crypto/CDataEncryption.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <typeinfo>

#include "common/crypto/AesEcb.h"
#include "common/crypto/SessionKey.h"
#include "common/platform/Diagnostics.h"
#include "hubkit/Hubkit.h"

namespace {

constexpr size_t kBlock = 16;

// The padding step shared by both directions. In place when the length is
// whole blocks; otherwise a new zeroed buffer of whole blocks holding a copy.
// Returns false with `out` null on failure; `isNew` tells which case.
bool Pad(uint8_t* data, size_t length, uint8_t*& out, size_t& outLength, bool& isNew) {
    out = nullptr;
    outLength = 0;
    isNew = false;
    if (data == nullptr && length != 0) {
        return false;
    }
    if (length % kBlock == 0) {
        out = data;
        outLength = length;
        return true;
    }
    if (length > std::numeric_limits<size_t>::max() - kBlock) {
        return false;
    }
    const size_t padded = length + (kBlock - length % kBlock);
    if (CDataEncryption::NewBufout(out, padded) == nullptr) {
        return false;
    }
    std::memcpy(out, data, length);
    outLength = padded;
    isNew = true;
    return true;
}

void Fail(uint8_t*& out, size_t& outLength, bool isNew) {
    if (isNew) {
        CDataEncryption::FreeBufout(out);
    }
    out = nullptr;
    outLength = 0;
}

}  // namespace

CDataEncryption& CDataEncryption::Instance() {
    // A function-local static is made exactly once even when threads race.
    // Never destroyed: sessions may still use it while statics are torn down.
    static CDataEncryption* instance = [] {
        auto* created = new CDataEncryption;
        HUBKIT_CreateSingleton(created, typeid(*created).name());
        return created;
    }();
    return *instance;
}

namespace {

enum class Outcome { InPlace, NewBuffer, Failed };

Outcome Transform(bool encrypt, uint8_t* data, size_t length, const char* keyText, uint8_t*& out,
                  size_t& outLength) {
    bool isNew = false;
    if (!Pad(data, length, out, outLength, isNew)) {
        return Outcome::Failed;
    }
    // Lengths only: the payload carries credentials ("GetDeviceInfo") and
    // configurations, and the key is the session number, which travels in
    // clear, so neither text nor cipher text goes to the diagnostics.
    if (encrypt) {
        platform::DiagPrintf("EncryptCmdData:datalen:%zu,dwOutLen:%zu\n", length, outLength);
    } else {
        platform::DiagPrintf("DecryptCmdData bRet:%d:datalen:%zu,dwOutLen:%zu\n", isNew ? 1 : 0,
                             length, outLength);
    }
    const crypto::AesKey key = crypto::AesKeyFromText(keyText);
    const bool ok = encrypt ? crypto::AesEcbEncrypt(key, out, outLength)
                            : crypto::AesEcbDecrypt(key, out, outLength);
    if (!ok) {
        Fail(out, outLength, isNew);
        return Outcome::Failed;
    }
    return isNew ? Outcome::NewBuffer : Outcome::InPlace;
}

CmdDataBuffer Wrap(bool encrypt, std::span<uint8_t> data, const char* keyText) {
    uint8_t* out = nullptr;
    size_t outLength = 0;
    switch (Transform(encrypt, data.data(), data.size(), keyText, out, outLength)) {
        case Outcome::InPlace:
            return CmdDataBuffer::InPlace(out, outLength);
        case Outcome::NewBuffer:
            return CmdDataBuffer::Owned(BufoutPtr(out), outLength);
        case Outcome::Failed:
            break;
    }
    return {};
}

}  // namespace

bool CDataEncryption::EncryptCmdData(uint8_t* data, size_t length, const char* keyText,
                                     uint8_t*& out, size_t& outLength) const {
    return Transform(true, data, length, keyText, out, outLength) == Outcome::NewBuffer;
}

bool CDataEncryption::DecryptCmdData(uint8_t* data, size_t length, const char* keyText,
                                     uint8_t*& out, size_t& outLength) const {
    return Transform(false, data, length, keyText, out, outLength) == Outcome::NewBuffer;
}

CmdDataBuffer CDataEncryption::EncryptCmdData(std::span<uint8_t> data, const char* keyText) const {
    return Wrap(true, data, keyText);
}

CmdDataBuffer CDataEncryption::DecryptCmdData(std::span<uint8_t> data, const char* keyText) const {
    return Wrap(false, data, keyText);
}

uint8_t* CDataEncryption::NewBufout(uint8_t*& out, size_t length) {
    if (out == nullptr) {
        out = new (std::nothrow) uint8_t[length]();
    }
    platform::DiagPrintf("NewBufout iLen:%zu,pbufout=%p\n", length, static_cast<void*>(out));
    return out;
}

void CDataEncryption::FreeBufout(uint8_t* buffer) {
    delete[] buffer;
}
