// Fuzz target "sim_base64": the simulated device's Base64 decoder (Basic
// credentials of "GetDeviceInfo") over any text, and against the program's
// encoder: whatever the encoder writes must decode to the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/markup/CBase64Encoder.h"
#include "fuzz/FuzzSupport.h"
#include "sim/Base64Decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string decoded;
    if (sim::DecodeBase64(input, decoded)) {
        FUZZ_CHECK(size % 4 == 0);
        const size_t padding = size == 0 ? 0 : (input[size - 1] == '=') + (input[size - 2] == '=');
        FUZZ_CHECK(decoded.size() == size / 4 * 3 - padding);
    }

    const CBase64Encoder encoder;
    const std::string encoded = encoder.Encode(input);
    FUZZ_CHECK(encoded.size() == encoder.EncodedLength(size));
    std::string back;
    FUZZ_CHECK(sim::DecodeBase64(encoded, back));
    FUZZ_CHECK(back == input);
    return 0;
}
