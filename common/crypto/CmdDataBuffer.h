#pragma once
// The output of CDataEncryption's span interface: a view of the output
// bytes that owns the buffer when a new one was made, so C++ callers never
// release anything by hand.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Releases a buffer made by CDataEncryption::NewBufout (null is fine).
struct BufoutDeleter {
    void operator()(uint8_t* buffer) const;
};
using BufoutPtr = std::unique_ptr<uint8_t[], BufoutDeleter>;

class CmdDataBuffer {
public:
    CmdDataBuffer() = default;  // failed: Ok() is false
    // The output is the caller's own data, changed in place.
    static CmdDataBuffer InPlace(uint8_t* data, size_t length);
    // The output is a new buffer, owned from here on.
    static CmdDataBuffer Owned(BufoutPtr buffer, size_t length);

    bool Ok() const { return m_ok; }
    // True when the output is a new buffer (the C interface's result).
    bool IsNewBuffer() const { return m_owned != nullptr; }
    uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    std::span<uint8_t> Bytes() const { return {m_data, m_size}; }
    // Hands the new buffer over (null when the output is in place); the
    // receiver releases it with CDataEncryption::FreeBufout.
    uint8_t* Release();

private:
    BufoutPtr m_owned;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_ok = false;
};
