#pragma once
// Base64 (RFC 4648 section 4: A-Z a-z 0-9 + /, "=" padding), with optional
// line breaks (CR LF after every lineLength characters).

#include <cstddef>
#include <cstdint>
#include <string>

class CBase64Encoder {
public:
    CBase64Encoder() = default;

    // Characters after which CR LF is written; the default never breaks,
    // and neither does a length of 0 or less.
    void SetLineLength(int32_t lineLength) { m_lineLength = lineLength; }
    int32_t LineLength() const { return m_lineLength; }

    // Characters Encode writes for `length` input bytes, the NUL not counted.
    size_t EncodedLength(size_t length) const;

    // Writes the text and a terminating NUL into `out` (capacity `outSize`
    // bytes) and returns the characters written, the NUL not counted. When
    // the text and its NUL do not fit, writes nothing but an empty text (if
    // outSize > 0) and returns -1.
    int Encode(const void* data, size_t length, char* out, size_t outSize) const;

    std::string Encode(const void* data, size_t length) const;
    std::string Encode(const std::string& text) const { return Encode(text.data(), text.size()); }

private:
    int32_t m_lineLength = 2147483647;
};
