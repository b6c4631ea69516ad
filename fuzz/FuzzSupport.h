#pragma once
// What the fuzz targets share: a cursor that hands out pieces of the input,
// and the check that turns a broken invariant into a crash the fuzzer keeps.
// The input buffer is never read past its end: every piece is bounded by
// what is left.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

// Aborts with the condition's text when an invariant does not hold; the
// fuzzer records the input, the replay test fails.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Left() const { return m_size - m_pos; }
    bool Empty() const { return m_pos >= m_size; }

    // One byte, or `otherwise` when the input is used up.
    uint8_t Byte(uint8_t otherwise = 0) { return Empty() ? otherwise : m_data[m_pos++]; }

    // A little-endian 32-bit value from up to four bytes (missing ones 0).
    uint32_t Le32() {
        uint32_t value = 0;
        for (int shift = 0; shift < 32 && !Empty(); shift += 8) {
            value |= static_cast<uint32_t>(m_data[m_pos++]) << shift;
        }
        return value;
    }

    // Up to `count` bytes, fewer at the end of the input.
    std::span<const uint8_t> Take(size_t count) {
        const size_t n = count < Left() ? count : Left();
        const std::span<const uint8_t> piece(m_data + m_pos, n);
        m_pos += n;
        return piece;
    }

    // The bytes up to the next `separator` (which is skipped), or the rest.
    std::span<const uint8_t> Until(uint8_t separator) {
        size_t end = m_pos;
        while (end < m_size && m_data[end] != separator) {
            ++end;
        }
        const std::span<const uint8_t> piece(m_data + m_pos, end - m_pos);
        m_pos = end < m_size ? end + 1 : end;
        return piece;
    }

    std::span<const uint8_t> Rest() { return Take(Left()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

inline std::string Text(std::span<const uint8_t> bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// True when a fixed text field holds its terminating zero.
template <size_t N>
bool Terminated(const char (&field)[N]) {
    return std::string_view(field, N).find('\0') != std::string_view::npos;
}

}  // namespace fuzz
