// The system's capture on Windows: ARP probes through SendARP (IP Helper),
// so adapter preparation works without a packet-capture driver.
#include <winsock2.h>  // first: the other Windows headers need it

#include <iphlpapi.h>

#include <cstring>

#include "common/platform/ArpResolverCapture.h"
#include "common/platform/Diagnostics.h"

namespace platform {
namespace {

class SendArpResolver : public ArpResolver {
public:
    bool Resolve(uint32_t target, uint32_t source, std::array<uint8_t, 6>& mac) override {
        ULONG buffer[2] = {};
        ULONG length = sizeof buffer;
        const DWORD rc = ::SendARP(target, source, buffer, &length);
        if (rc != NO_ERROR || length != mac.size()) {
            DiagPrintf("SendARP %s failed: %lu\n", FormatIPv4(target).c_str(), rc);
            return false;
        }
        std::memcpy(mac.data(), buffer, mac.size());
        return true;
    }
};

}  // namespace

PacketCapture& SystemCapture() {
    static SendArpResolver resolver;
    static const std::unique_ptr<PacketCapture> capture = MakeArpResolverCapture(resolver);
    return *capture;
}

}  // namespace platform
