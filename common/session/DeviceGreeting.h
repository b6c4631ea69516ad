#pragma once
// The 64-byte greeting a device sends as soon as the TCP connection is up:
// sixteen little-endian 32-bit words.

#include <array>
#include <cstddef>
#include <cstdint>

struct DeviceGreeting {
    static constexpr size_t kSize = 64;
    static constexpr uint32_t kProtocolVersion = 3;

    std::array<uint8_t, kSize> bytes{};

    static DeviceGreeting FromBytes(const uint8_t* data);

    uint32_t Word(size_t index) const;
    uint32_t ProductType() const { return Word(2); }
    uint32_t ProtocolVersion() const { return Word(3); }
    // 0: the login sends the user name and password as they are; otherwise
    // the cipher identifier that disguises them.
    uint32_t NameTransformMode() const { return Word(6); }
    // The 4-byte key of that transform, in memory order.
    std::array<uint8_t, 4> NameTransformKey() const { return {bytes[28], bytes[29], bytes[30], bytes[31]}; }
    // 0 plain password, 1 digest, 2 digest and a scrambled user name.
    uint8_t DigestMode() const { return bytes[44]; }
    // Bytes 45..47, low byte first: below 2^24.
    uint32_t SessionNumber() const {
        return static_cast<uint32_t>(bytes[45]) | (static_cast<uint32_t>(bytes[46]) << 8) |
               (static_cast<uint32_t>(bytes[47]) << 16);
    }
    // Non-zero: HTTP payloads and marked media frames are AES-encrypted.
    bool PayloadEncrypted() const { return Word(13) != 0; }

    // Writers, for the simulator and tests.
    void SetWord(size_t index, uint32_t value);
    void SetSessionNumber(uint32_t number);
};
