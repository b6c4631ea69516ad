#pragma once
// The session key text and the AES key made from a key text.

#include <cstdint>
#include <string>

#include "common/crypto/AesEcb.h"

namespace crypto {

// The session number written as 16 decimal digits with leading zeros
// ("%016d"), e.g. 123456 -> "0000000000123456".
std::string SessionKeyText(uint32_t sessionNumber);

// Reads the text as pairs of hexadecimal digits (either case), one byte per
// pair, until 16 bytes are made, the text ends, or a pair holds a character
// that is no hexadecimal digit; the remaining bytes are 0. A lone last
// digit makes no byte. A null text gives 16 zero bytes.
AesKey AesKeyFromText(const char* keyText);

}  // namespace crypto
