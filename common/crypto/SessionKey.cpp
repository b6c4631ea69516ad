#include "common/crypto/SessionKey.h"

#include <cstdio>

#include "common/crypto/Digest.h"

namespace crypto {

std::string SessionKeyText(uint32_t sessionNumber) {
    char text[24];
    std::snprintf(text, sizeof text, "%016u", sessionNumber);
    return text;
}

AesKey AesKeyFromText(const char* keyText) {
    AesKey key{};
    if (keyText == nullptr) {
        return key;
    }
    for (size_t i = 0; i < key.size(); ++i) {
        const int high = HexDigitValue(keyText[2 * i]);
        if (high < 0) {
            break;  // also the text's end: the low digit is never read past it
        }
        const int low = HexDigitValue(keyText[2 * i + 1]);
        if (low < 0) {
            break;
        }
        key[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return key;
}

}  // namespace crypto
