#pragma once
// Byte layouts of the wire formats and files: little-endian fields (the
// device protocol, packages, the simulator's records) and big-endian ones
// (ARP frames, addresses kept in network byte order), read and written
// byte by byte, so they hold on any processor and never cast a struct onto
// a buffer.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace byteorder {

inline uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void WriteLe16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLe32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline uint16_t ReadBe16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t ReadBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void WriteBe16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

inline void WriteBe32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// An IPv4 address "in network byte order" is a uint32_t whose bytes in
// memory are the address's bytes, most significant first, whatever the
// processor: these turn it into the number (host order) and back.
inline uint32_t NetworkToHost32(uint32_t network) {
    uint8_t b[4];
    std::memcpy(b, &network, sizeof b);
    return ReadBe32(b);
}

inline uint32_t HostToNetwork32(uint32_t host) {
    uint8_t b[4];
    WriteBe32(b, host);
    uint32_t network = 0;
    std::memcpy(&network, b, sizeof network);
    return network;
}

}  // namespace byteorder
