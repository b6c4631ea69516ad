#include "common/platform/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// Each value with its bytes as they lie in a file or on the wire, written by
// hand: little-endian least significant byte first, big-endian the reverse.
struct Case32 {
    uint32_t value;
    std::array<uint8_t, 4> le;
};

TEST(ByteOrder, FieldsReadAndWriteTheirBytesAtTheEdges) {
    const Case32 cases[] = {
        {0x00000000u, {0x00, 0x00, 0x00, 0x00}}, {0x00000001u, {0x01, 0x00, 0x00, 0x00}},
        {0x000000FFu, {0xFF, 0x00, 0x00, 0x00}}, {0x00000100u, {0x00, 0x01, 0x00, 0x00}},
        {0x7FFFFFFFu, {0xFF, 0xFF, 0xFF, 0x7F}}, {0x80000000u, {0x00, 0x00, 0x00, 0x80}},
        {0xFFFFFFFEu, {0xFE, 0xFF, 0xFF, 0xFF}}, {0xFFFFFFFFu, {0xFF, 0xFF, 0xFF, 0xFF}},
        {0x12345678u, {0x78, 0x56, 0x34, 0x12}},
    };
    for (const Case32& c : cases) {
        SCOPED_TRACE(c.value);
        const std::array<uint8_t, 4> be = {c.le[3], c.le[2], c.le[1], c.le[0]};
        std::array<uint8_t, 4> out{};

        EXPECT_EQ(byteorder::ReadLe32(c.le.data()), c.value);
        byteorder::WriteLe32(out.data(), c.value);
        EXPECT_EQ(out, c.le);
        EXPECT_EQ(byteorder::ReadBe32(be.data()), c.value);
        byteorder::WriteBe32(out.data(), c.value);
        EXPECT_EQ(out, be);

        // The low half as a 16-bit field; the bytes after it stay untouched.
        const auto low = static_cast<uint16_t>(c.value);
        out = {0xAA, 0xAA, 0xAA, 0xAA};
        byteorder::WriteLe16(out.data(), low);
        EXPECT_EQ(out[0], c.le[0]);
        EXPECT_EQ(out[1], c.le[1]);
        EXPECT_EQ(out[2], 0xAA);
        EXPECT_EQ(byteorder::ReadLe16(c.le.data()), low);
        byteorder::WriteBe16(out.data(), low);
        EXPECT_EQ(out[0], c.le[1]);
        EXPECT_EQ(out[1], c.le[0]);
        EXPECT_EQ(byteorder::ReadBe16(out.data()), low);

        // Network byte order: the address's bytes in memory, most
        // significant first, whatever the processor.
        const uint32_t network = byteorder::HostToNetwork32(c.value);
        std::array<uint8_t, 4> memory{};
        std::memcpy(memory.data(), &network, sizeof network);
        EXPECT_EQ(memory, be);
        EXPECT_EQ(byteorder::NetworkToHost32(network), c.value);
    }
}

}  // namespace
