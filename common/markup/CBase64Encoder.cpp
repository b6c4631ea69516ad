#include "common/markup/CBase64Encoder.h"

#include <climits>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Writes the characters through `put`, inserting CR LF whenever the count
// reaches the line length after a character (the final "=" excepted).
template <typename Put>
void EncodeInto(const unsigned char* in, size_t length, int32_t lineLength, Put put) {
    const size_t groups = (length + 2) / 3;
    const size_t total = groups * 4;
    size_t written = 0;
    int64_t count = 0;
    auto emit = [&](char c) {
        put(c);
        ++written;
        ++count;
        const bool finalPad = written == total && c == '=';
        if (lineLength > 0 && count >= lineLength && !finalPad) {
            put('\r');
            put('\n');
            count = 0;
        }
    };
    for (size_t i = 0; i < length; i += 3) {
        const size_t left = length - i;
        const uint32_t b0 = in[i];
        const uint32_t b1 = left > 1 ? in[i + 1] : 0;
        const uint32_t b2 = left > 2 ? in[i + 2] : 0;
        const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
        emit(kAlphabet[(v >> 18) & 0x3F]);
        emit(kAlphabet[(v >> 12) & 0x3F]);
        emit(left > 1 ? kAlphabet[(v >> 6) & 0x3F] : '=');
        emit(left > 2 ? kAlphabet[v & 0x3F] : '=');
    }
}

}  // namespace

size_t CBase64Encoder::EncodedLength(size_t length) const {
    const size_t chars = (length + 2) / 3 * 4;
    if (m_lineLength <= 0) {
        return chars;
    }
    const size_t line = static_cast<size_t>(m_lineLength);
    size_t breaks = chars / line;
    // No break follows the final "=".
    if (breaks > 0 && chars % line == 0 && length % 3 != 0) {
        --breaks;
    }
    return chars + 2 * breaks;
}

int CBase64Encoder::Encode(const void* data, size_t length, char* out, size_t outSize) const {
    const size_t needed = EncodedLength(length) + 1;
    if (out == nullptr || outSize < needed || needed - 1 > static_cast<size_t>(INT_MAX)) {
        if (out != nullptr && outSize > 0) {
            out[0] = '\0';
        }
        return -1;
    }
    size_t n = 0;
    EncodeInto(static_cast<const unsigned char*>(data), length, m_lineLength,
               [&](char c) { out[n++] = c; });
    out[n] = '\0';
    return static_cast<int>(n);
}

std::string CBase64Encoder::Encode(const void* data, size_t length) const {
    std::string text;
    text.reserve(EncodedLength(length));
    EncodeInto(static_cast<const unsigned char*>(data), length, m_lineLength,
               [&](char c) { text += c; });
    return text;
}
