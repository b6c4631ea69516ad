#include "sim/Base64Decode.h"

#include <cstdint>

namespace sim {

namespace {

int Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    if (text.size() % 4 != 0) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<size_t>(k)];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
                continue;
            }
            v[k] = padding > 0 ? -1 : Value(c);  // nothing may follow padding
            if (v[k] < 0) {
                out.clear();
                return false;
            }
        }
        const uint32_t n = (static_cast<uint32_t>(v[0]) << 18) |
                           (static_cast<uint32_t>(v[1]) << 12) |
                           (static_cast<uint32_t>(v[2]) << 6) | static_cast<uint32_t>(v[3]);
        // Canonical text leaves the bits under the padding zero ("QR==" is not "A").
        if ((padding == 2 && (n & 0xFFFF) != 0) || (padding == 1 && (n & 0xFF) != 0)) {
            out.clear();
            return false;
        }
        out += static_cast<char>((n >> 16) & 0xFF);
        if (padding < 2)
            out += static_cast<char>((n >> 8) & 0xFF);
        if (padding < 1)
            out += static_cast<char>(n & 0xFF);
    }
    return true;
}

}  // namespace sim
