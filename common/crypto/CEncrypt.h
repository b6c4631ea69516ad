#pragma once
// Base of the byte-stream ciphers chosen by a numeric identifier (see
// CipherRegistry.h). The login disguises the user name and password with one
// when the device's greeting asks for it.

#include <cstdint>
#include <span>

class CEncrypt {
public:
    // Changes `data` in place under `key`. The base cipher knows no
    // algorithm: it reports "CEncrypt" on the diagnostics channel (it runs on
    // worker threads, which never open windows) and leaves the data as it is.
    virtual void Encrypt(std::span<uint8_t> data, std::span<const uint8_t> key);
    // The base does nothing.
    virtual void Decrypt(std::span<uint8_t> data, std::span<const uint8_t> key);
    virtual ~CEncrypt() = default;
};
