#pragma once
// Payload encryption of the device session: AES-128 in ECB mode under a key
// made from the session key text (SessionKey.h), zero-padded to whole
// 16-byte blocks. One stateless instance per process, usable from every
// thread at once.

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/crypto/CmdDataBuffer.h"

class CDataEncryption {
public:
    // The process-wide instance, made on first use (safe when threads race
    // for it) and registered once with Hubkit under its run-time type name.
    // It lives until the process ends.
    static CDataEncryption& Instance();

    // Encrypts `length` bytes of `data` under `keyText`.
    // - length a multiple of 16 (0 included): encrypted in place, `out` is
    //   set to `data`, `outLength` to `length`, result false;
    // - otherwise: `out` is set to a new zeroed buffer of the length rounded
    //   up to 16 holding the encrypted data, result true; the caller
    //   releases it with FreeBufout (or wraps it in a BufoutPtr).
    // Whatever `out` held before is overwritten, never written through.
    // Failure (out of memory, cipher unavailable, null data with a non-zero
    // length) sets `out` to null and `outLength` to 0 and returns false; data
    // being encrypted in place is then in an unspecified state.
    bool EncryptCmdData(uint8_t* data, size_t length, const char* keyText, uint8_t*& out,
                        size_t& outLength) const;
    // The same contract, decrypting. Trailing zero bytes of the padding stay.
    bool DecryptCmdData(uint8_t* data, size_t length, const char* keyText, uint8_t*& out,
                        size_t& outLength) const;

    // The same operations for C++ callers: the result owns any new buffer.
    CmdDataBuffer EncryptCmdData(std::span<uint8_t> data, const char* keyText) const;
    CmdDataBuffer DecryptCmdData(std::span<uint8_t> data, const char* keyText) const;

    // When `out` is null, allocates `length` zeroed bytes into it (null when
    // memory runs out). Reports the length and the buffer on the diagnostics
    // channel. Returns `out`.
    static uint8_t* NewBufout(uint8_t*& out, size_t length);
    // Releases a buffer made by NewBufout; null is fine.
    static void FreeBufout(uint8_t* buffer);

    CDataEncryption(const CDataEncryption&) = delete;
    CDataEncryption& operator=(const CDataEncryption&) = delete;

private:
    CDataEncryption() = default;
    ~CDataEncryption() = default;
};
