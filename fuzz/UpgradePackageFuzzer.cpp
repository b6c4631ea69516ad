// Fuzz target "upgrade_package": the checks a worker makes of an upgrade
// package against one device, and the cut of its payload into pieces.
// Input: the upgrade type (byte 0, any value: types outside 0..3 must be
// refused), the device's software version (bytes 1..4, little-endian),
// then the package file.
//
// An accepted package ends with its type's trailer: "head", and for a
// component the kind the type requires; the payload is everything before
// it, the compression the device's version asks for holds, and the 100
// pieces cover the payload exactly.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "common/link/LinkFrames.h"
#include "fuzz/FuzzSupport.h"
#include "fwbatch/engine/UpgradePackage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteCursor cursor(data, size);
    const int type = static_cast<int8_t>(cursor.Byte());
    const uint32_t version = cursor.Le32();
    const std::span<const uint8_t> rest = cursor.Rest();
    // An exact-size copy, so a read past the package's end is caught.
    const std::vector<uint8_t> file(rest.begin(), rest.end());
    const uint8_t* bytes = file.empty() ? nullptr : file.data();

    const std::optional<uint32_t> payload = fwbatch::CheckPackage(bytes, file.size(), type, version);
    if (!payload) {
        return 0;
    }
    FUZZ_CHECK(type >= 0 && type < fwbatch::kUpgradeTypes);
    const size_t trailer = type == fwbatch::kUpgradeSoftware ? fwbatch::kSoftwareTrailer : fwbatch::kComponentTrailer;
    FUZZ_CHECK(file.size() >= trailer && *payload == file.size() - trailer);
    FUZZ_CHECK(std::memcmp(file.data() + *payload, "head", 4) == 0);
    if (type != fwbatch::kUpgradeSoftware) {
        FUZZ_CHECK(tcplink::ReadLe32(file.data() + *payload + 4) == fwbatch::RequiredKind(type));
    } else {
        const bool compressed = fwbatch::IsCompressedImage(file.data(), file.size());
        switch (fwbatch::CompressionRuleFor(version)) {
            case fwbatch::CompressionRule::MustBeCompressed:
                FUZZ_CHECK(compressed);
                break;
            case fwbatch::CompressionRule::MustNotBeCompressed:
                FUZZ_CHECK(!compressed);
                break;
            case fwbatch::CompressionRule::Either:
                break;
        }
    }

    const fwbatch::PiecePlan plan = fwbatch::PlanPieces(*payload);
    uint64_t covered = 0;
    for (uint32_t sequence = 1; sequence <= fwbatch::kPieces; ++sequence) {
        FUZZ_CHECK(plan.Offset(sequence) == covered);
        covered += plan.Size(sequence);
    }
    FUZZ_CHECK(covered == *payload);
    return 0;
}
