// Fuzz target "onvif_soap": one reply of a camera's device service, read as
// each of the answers the identity calls expect, and as a fault.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "onvif/DeviceSoap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    onvif::SoapReply reply;
    const bool parsed = onvif::ParseSoapReply(text, reply);
    FUZZ_CHECK(parsed == reply.parsed);
    FUZZ_CHECK(!reply.fault || reply.parsed);
    int64_t utc = 0;
    if (onvif::ReadSystemDateAndTime(reply, utc)) {
        FUZZ_CHECK(utc >= 0);
        FUZZ_CHECK(onvif::FormatUtc(utc).size() == 24);
    }
    onvif::DeviceInformation info;
    (void)onvif::ReadDeviceInformation(reply, info);
    std::vector<std::string> macs;
    if (onvif::ReadNetworkInterfaces(reply, macs)) {
        FUZZ_CHECK(!reply.fault);
    }
    (void)onvif::IsAuthorizationFault(reply);
    return 0;
}
