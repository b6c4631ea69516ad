#pragma once
// A packet capture that carries ARP probes only, and answers them through
// the system's address resolution instead of raw frames: Windows' SendARP,
// so that adapter preparation needs no capture driver there. Its devices
// are the network platform's adapters that have an IPv4 address (named as
// the adapters are; the system picks the adapter a resolution goes out of
// by its source address); a probe sent on one is resolved from the
// adapter's first IPv4 address, and the answer, when a station gave one, is
// read back as the ARP reply frame that station would have sent. After that
// the capture has no more frames.
//
// The resolution asks the system's neighbour discovery, which resolves only
// addresses on the adapter's own subnets: a device in a foreign subnet is
// not found this way, and the preparation falls back to its first physical
// adapter, as it does without capture devices.

#include <array>
#include <cstdint>
#include <memory>

#include "common/platform/NetworkPlatform.h"
#include "common/platform/PacketCapture.h"

namespace platform {

class ArpResolver {
public:
    virtual ~ArpResolver() = default;
    // Asks for target's hardware address from the adapter that holds source
    // (both network byte order). True with mac
    // set when a station answered; waits as long as the system's resolution
    // does (about 3 s when nobody answers).
    virtual bool Resolve(uint32_t target, uint32_t source, std::array<uint8_t, 6>& mac) = 0;
};

// The capture over resolver and the adapters of net (null: Network() at each
// call); both must outlive it.
std::unique_ptr<PacketCapture> MakeArpResolverCapture(ArpResolver& resolver,
                                                      NetworkPlatform* net = nullptr);

}  // namespace platform
