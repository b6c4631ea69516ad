#pragma once
// Standard Base64 (RFC 4648, "+/" alphabet, "=" padding) decoding, for the
// Basic credentials a "GetDeviceInfo" request carries.

#include <string>
#include <string_view>

namespace sim {

// False, with `out` empty, when the text is not canonical Base64 (wrong
// length, a character outside the alphabet, padding anywhere but at the
// end, bits under the padding that are not zero).
bool DecodeBase64(std::string_view text, std::string& out);

}  // namespace sim
