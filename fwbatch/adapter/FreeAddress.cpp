// The walk for a free address in a device's subnet.
#include <chrono>
#include <random>

#include "common/platform/ByteOrder.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace fwbatch::adapter {

// Host parts 1 .. lastHost are candidates: 0 is the network address and the
// all-ones part the broadcast address. The walk starts at a random host
// part and moves by a random step, wrapping back into the range, until it
// meets its start again or has tested kMaxCandidateTests addresses.
uint32_t ChooseFreeAddress(uint32_t deviceAddress, uint32_t mask,
                           const platform::AdapterInfo* adapter, const AdapterEnv& env) {
    const int prefixLength = platform::MaskToPrefixLength(mask);
    if (prefixLength < 0) {
        return 0;
    }
    const int hostBits = 32 - prefixLength;
    if (hostBits == 0 || hostBits == 32) {
        return 0;
    }
    const uint32_t allOnes = (1u << hostBits) - 1u;
    const uint32_t lastHost = allOnes - 1u;
    if (lastHost < 1) {
        return 0;  // a /31 has no host part besides network and broadcast
    }

    std::minstd_rand engine(
        static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    const auto random = [&]() -> uint32_t {
        return env.random ? env.random() : static_cast<uint32_t>(engine());
    };
    uint32_t start = random() % (lastHost + 1);
    if (start < 1) {
        start = (lastHost + 1) / 2;
    }
    uint32_t step = random() % start;
    if (step == 0) {
        step = 1;  // a walk that does not move tests one address over and over
    }

    const uint32_t network =
        byteorder::NetworkToHost32(deviceAddress) & byteorder::NetworkToHost32(mask);
    uint32_t candidate = start;
    for (int tested = 0; tested < kMaxCandidateTests; ++tested) {
        const uint32_t address = byteorder::HostToNetwork32(network | candidate);
        if (env.report != nullptr) {
            ++env.report->candidatesTested;
        }
        if (!IsAddressInUse(address, true, adapter, env)) {
            return address;
        }
        candidate += step;
        while (candidate < 1 || candidate > lastHost) {
            if (candidate > lastHost) {
                candidate = (candidate + 1) % step;
            }
            if (candidate < 1) {
                candidate += step;
            }
        }
        if (candidate == start) {
            break;
        }
    }
    return 0;
}

}  // namespace fwbatch::adapter
