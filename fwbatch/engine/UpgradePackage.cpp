#include "fwbatch/engine/UpgradePackage.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/platform/ByteOrder.h"
#include "discovery/VersionText.h"

namespace fwbatch {
namespace {

constexpr uint8_t kMagic[4] = {'h', 'e', 'a', 'd'};

using byteorder::ReadLe32;

}  // namespace

uint32_t RequiredKind(int type) {
    switch (type) {
        case kUpgradeKernel:
            return 2;
        case kUpgradeUboot:
            return 1;
        case kUpgradeAiLibrary:
            return 5;
        default:
            return 0;
    }
}

int UpgradeTypeFromName(const std::string& name) {
    static constexpr const char* kNames[kUpgradeTypes] = {"software", "kernel", "uboot", "ai"};
    for (int type = 0; type < kUpgradeTypes; ++type) {
        if (name == kNames[type]) {
            return type;
        }
    }
    return -1;
}

bool IsCompressedImage(const uint8_t* file, size_t size) {
    return size >= 10 && file[0] == 0x1F && file[1] == 0x8B && file[2] == 0x08 &&
           file[3] == 0x00 && file[8] == 0x00 && file[9] == 0x03;
}

CompressionRule CompressionRuleFor(uint32_t softwareVersion) {
    const unsigned major = softwareVersion >> 24;
    const std::string text = discovery::SoftwareVersionText(softwareVersion);
    if (major == 3) {
        return CompressionRule::MustBeCompressed;
    }
    if (major == 4) {
        return std::strcmp(text.c_str(), "4.0.2") < 0 ? CompressionRule::MustBeCompressed
                                              : CompressionRule::MustNotBeCompressed;
    }
    return CompressionRule::Either;
}

std::optional<uint32_t> CheckPackage(const uint8_t* file, size_t size, int type,
                                     uint32_t softwareVersion) {
    if (type < 0 || type >= kUpgradeTypes || file == nullptr || size > UINT32_MAX) {
        return std::nullopt;
    }
    if (type == kUpgradeSoftware) {
        if (size < 10 || size < kSoftwareTrailer) {
            return std::nullopt;
        }
        const bool compressed = IsCompressedImage(file, size);
        switch (CompressionRuleFor(softwareVersion)) {
            case CompressionRule::MustBeCompressed:
                if (!compressed) {
                    return std::nullopt;
                }
                break;
            case CompressionRule::MustNotBeCompressed:
                if (compressed) {
                    return std::nullopt;
                }
                break;
            case CompressionRule::Either:
                break;
        }
        if (std::memcmp(file + size - kSoftwareTrailer, kMagic, sizeof kMagic) != 0) {
            return std::nullopt;
        }
        return static_cast<uint32_t>(size - kSoftwareTrailer);
    }
    if (size < kComponentTrailer) {
        return std::nullopt;
    }
    const uint8_t* trailer = file + size - kComponentTrailer;
    if (std::memcmp(trailer, kMagic, sizeof kMagic) != 0 || ReadLe32(trailer + 4) != RequiredKind(type)) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(size - kComponentTrailer);
}

PiecePlan PlanPieces(uint32_t payloadLength) {
    PiecePlan plan;
    plan.piece = payloadLength / kPieces;
    plan.first = plan.piece + payloadLength % kPieces;
    return plan;
}

}  // namespace fwbatch
