// Fuzz target "device_info": the answer document of a device-information
// request, as a device may send it, read by the AI query. Whatever the
// text, the read ends and each version is at most 63 bytes with no zero
// byte in it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "fwbatch/engine/AiQuery.h"

namespace {

void CheckVersion(const std::string& version) {
    FUZZ_CHECK(version.size() <= fwbatch::kAiVersionTextMax);
    FUZZ_CHECK(version.find('\0') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    const fwbatch::AiVersionTexts versions = fwbatch::ParseDeviceInfo(document);
    CheckVersion(versions.structure);
    CheckVersion(versions.face);
    CheckVersion(versions.vehicle);
    return 0;
}
