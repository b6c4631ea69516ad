#pragma once
// The command message that carries every request and reply: a 16-byte
// header of four little-endian 32-bit words (identifier, auxiliary word,
// reserved 0, body length) followed by the body. One message is one link
// payload.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace proto {

constexpr size_t kCommandHeaderSize = 16;

// A received message, viewed in place. The body is bounded by what actually
// arrived: a header that claims more than the message holds gives only the
// bytes that are there, and reads beyond them give 0.
struct CommandView {
    uint32_t id = 0;
    uint32_t aux = 0;
    uint32_t reserved = 0;
    uint32_t declaredLength = 0;  // the header's body length
    const uint8_t* body = nullptr;
    size_t bodyLength = 0;        // bytes of body present and declared

    // 32-bit word at a body byte offset; 0 outside the body.
    uint32_t WordAt(size_t offset) const;
    // Byte at a body offset; 0 outside the body.
    uint8_t ByteAt(size_t offset) const;
};

// False when the message is shorter than its header.
bool ParseCommand(const uint8_t* message, size_t length, CommandView& view);

// Header plus body, ready for the link.
// Writes the 16-byte header of a command whose body follows it.
void WriteCommandHeader(uint8_t* out, uint32_t id, uint32_t bodyLength, uint32_t aux = 0);
std::vector<uint8_t> BuildCommand(uint32_t id, const void* body, uint32_t bodyLength, uint32_t aux = 0);

}  // namespace proto
