#include <windows.h>  // first: bcrypt.h needs it

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/platform/Cng.h"
#include "common/platform/Diagnostics.h"

namespace platform::cng {
namespace {

// CNG takes ULONG lengths: larger buffers go through in pieces.
constexpr size_t kPiece = size_t{1} << 30;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// One algorithm provider, opened on first use and kept for the process.
class Provider {
public:
    Provider(const wchar_t* algorithm, const wchar_t* chainingMode) {
        NTSTATUS status = ::BCryptOpenAlgorithmProvider(&m_handle, algorithm, nullptr, 0);
        if (Succeeded(status) && chainingMode != nullptr) {
            status = ::BCryptSetProperty(
                m_handle, BCRYPT_CHAINING_MODE,
                reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chainingMode)),
                static_cast<ULONG>((std::wcslen(chainingMode) + 1) * sizeof(wchar_t)), 0);
        }
        DWORD objectLength = 0;
        ULONG got = 0;
        if (Succeeded(status)) {
            status = ::BCryptGetProperty(m_handle, BCRYPT_OBJECT_LENGTH,
                                         reinterpret_cast<PUCHAR>(&objectLength),
                                         sizeof objectLength, &got, 0);
        }
        if (!Succeeded(status)) {
            DiagPrintf("CNG: %ls is not available (status 0x%08lX)\n", algorithm,
                       static_cast<unsigned long>(status));
            if (m_handle != nullptr) {
                ::BCryptCloseAlgorithmProvider(m_handle, 0);
            }
            m_handle = nullptr;
            return;
        }
        m_objectLength = objectLength;
    }

    BCRYPT_ALG_HANDLE Handle() const { return m_handle; }
    ULONG ObjectLength() const { return m_objectLength; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
    ULONG m_objectLength = 0;
};

// Never destroyed: threads may still encrypt while statics are torn down.
const Provider& Aes() {
    static const Provider* p = new Provider(BCRYPT_AES_ALGORITHM, BCRYPT_CHAIN_MODE_ECB);
    return *p;
}
const Provider& TripleDes() {
    static const Provider* p = new Provider(BCRYPT_3DES_ALGORITHM, BCRYPT_CHAIN_MODE_CBC);
    return *p;
}
const Provider& Md5Provider() {
    static const Provider* p = new Provider(BCRYPT_MD5_ALGORITHM, nullptr);
    return *p;
}
const Provider& Sha1Provider() {
    static const Provider* p = new Provider(BCRYPT_SHA1_ALGORITHM, nullptr);
    return *p;
}
const Provider& Sha256Provider() {
    static const Provider* p = new Provider(BCRYPT_SHA256_ALGORITHM, nullptr);
    return *p;
}

// A key of the provider with its object memory; destroyed with it.
class Key {
public:
    Key(const Provider& provider, const uint8_t* secret, ULONG secretLength)
        : m_object(provider.ObjectLength()) {
        if (provider.Handle() == nullptr ||
            !Succeeded(::BCryptGenerateSymmetricKey(provider.Handle(), &m_handle, m_object.data(),
                                                    static_cast<ULONG>(m_object.size()),
                                                    const_cast<PUCHAR>(secret), secretLength, 0))) {
            m_handle = nullptr;
        }
    }
    ~Key() {
        if (m_handle != nullptr) {
            ::BCryptDestroyKey(m_handle);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    BCRYPT_KEY_HANDLE Handle() const { return m_handle; }

private:
    std::vector<UCHAR> m_object;
    BCRYPT_KEY_HANDLE m_handle = nullptr;
};

// Runs the cipher over whole blocks in pieces; iv (when given) carries the
// chaining from piece to piece, as CNG updates it.
bool Crypt(const Key& key, bool encrypt, uint8_t* iv, ULONG ivLength, const uint8_t* in,
           size_t length, uint8_t* out) {
    if (key.Handle() == nullptr) {
        return false;
    }
    for (size_t done = 0; done < length;) {
        const ULONG piece = static_cast<ULONG>(std::min(kPiece, length - done));
        ULONG produced = 0;
        PUCHAR input = const_cast<PUCHAR>(in + done);
        const NTSTATUS status = encrypt
                                    ? ::BCryptEncrypt(key.Handle(), input, piece, nullptr, iv,
                                                      ivLength, out + done, piece, &produced, 0)
                                    : ::BCryptDecrypt(key.Handle(), input, piece, nullptr, iv,
                                                      ivLength, out + done, piece, &produced, 0);
        if (!Succeeded(status) || produced != piece) {
            return false;
        }
        done += piece;
    }
    return true;
}

bool Hash(const Provider& provider, const uint8_t* data, size_t length, uint8_t* out,
          ULONG outLength) {
    if (provider.Handle() == nullptr) {
        return false;
    }
    std::vector<UCHAR> object(provider.ObjectLength());
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!Succeeded(::BCryptCreateHash(provider.Handle(), &hash, object.data(),
                                      static_cast<ULONG>(object.size()), nullptr, 0, 0))) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < length;) {
        const ULONG piece = static_cast<ULONG>(std::min(kPiece, length - done));
        ok = Succeeded(::BCryptHashData(hash, const_cast<PUCHAR>(data + done), piece, 0));
        done += piece;
    }
    ok = ok && Succeeded(::BCryptFinishHash(hash, out, outLength, 0));
    ::BCryptDestroyHash(hash);
    return ok;
}

}  // namespace

bool Aes128Ecb(const uint8_t* key, uint8_t* buffer, size_t length, bool encrypt) {
    const Key aes(Aes(), key, 16);
    return Crypt(aes, encrypt, nullptr, 0, buffer, length, buffer);
}

bool DesCbcBlocks(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out) {
    uint8_t tripled[24];
    for (int i = 0; i < 3; ++i) {
        std::memcpy(tripled + 8 * i, key, 8);
    }
    const Key des(TripleDes(), tripled, sizeof tripled);
    SecureZeroMemory(tripled, sizeof tripled);
    uint8_t chain[8];
    std::memcpy(chain, iv, sizeof chain);
    return Crypt(des, encrypt, chain, sizeof chain, in, length, out);
}

bool Md5(const uint8_t* data, size_t length, uint8_t* out) {
    return Hash(Md5Provider(), data, length, out, 16);
}

bool Sha1(const uint8_t* data, size_t length, uint8_t* out) {
    return Hash(Sha1Provider(), data, length, out, 20);
}

bool Sha256(const uint8_t* data, size_t length, uint8_t* out) {
    return Hash(Sha256Provider(), data, length, out, 32);
}

bool RandomBytes(uint8_t* out, size_t length) {
    for (size_t done = 0; done < length;) {
        const ULONG piece = static_cast<ULONG>(std::min(kPiece, length - done));
        if (!Succeeded(::BCryptGenRandom(nullptr, out + done, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            return false;
        }
        done += piece;
    }
    return true;
}

}  // namespace platform::cng
