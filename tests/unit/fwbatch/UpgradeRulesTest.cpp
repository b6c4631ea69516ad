// The package checks and the piece arithmetic of an upgrade: what a device
// of a given version accepts, and how a payload is cut into 100 pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fwbatch/engine/UpgradePackage.h"
#include "fwbatch/engine/UpgradeResult.h"

namespace {

using namespace fwbatch;

constexpr uint32_t Version(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

std::vector<uint8_t> Software(size_t payload, bool compressed) {
    std::vector<uint8_t> file(payload + kSoftwareTrailer, 0x55);
    if (compressed) {
        const uint8_t header[10] = {0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x03};
        std::copy(header, header + 10, file.begin());
    }
    const char trailer[4] = {'h', 'e', 'a', 'd'};
    std::copy(trailer, trailer + 4, file.begin() + static_cast<long>(payload));
    return file;
}

std::vector<uint8_t> Component(size_t payload, uint32_t kind, const char* magic = "head") {
    std::vector<uint8_t> file(payload + kComponentTrailer, 0);
    std::fill(file.begin(), file.begin() + static_cast<long>(payload), 0xAA);
    for (size_t i = 0; i < 4; ++i) {
        file[payload + i] = static_cast<uint8_t>(magic[i]);
        file[payload + 4 + i] = static_cast<uint8_t>(kind >> (8 * i));
    }
    return file;
}

TEST(UpgradePackage, CompressionFollowsTheDevicesVersionAsText) {
    struct Row {
        uint32_t version;
        bool compressed;
        bool accepted;
    };
    const Row rows[] = {
        {Version(4, 0, 2, 0), false, true},  {Version(4, 0, 2, 0), true, false},
        {Version(4, 0, 1, 9), true, true},   {Version(4, 0, 1, 9), false, false},
        {Version(3, 9, 9, 9), true, true},   {Version(3, 0, 0, 0), false, false},
        {Version(5, 0, 0, 0), true, true},   {Version(5, 0, 0, 0), false, true},
        // "4.0.10.1" is below "4.0.2" byte by byte, so it needs compression.
        {Version(4, 0, 10, 1), true, true},  {Version(4, 0, 10, 1), false, false},
        {Version(4, 1, 0, 0), false, true},
    };
    for (const Row& row : rows) {
        const std::vector<uint8_t> file = Software(1000, row.compressed);
        const auto payload = CheckPackage(file.data(), file.size(), kUpgradeSoftware, row.version);
        EXPECT_EQ(payload.has_value(), row.accepted) << std::hex << row.version << " " << row.compressed;
        if (payload) {
            EXPECT_EQ(*payload, 1000u);
        }
    }
}

TEST(UpgradePackage, TrailerKindAndLength) {
    const uint32_t v5 = Version(5, 0, 0, 0);
    struct Row {
        const char* what;
        std::vector<uint8_t> file;
        int type;
        bool accepted;
    };
    const Row rows[] = {
        {"kernel kind 2", Component(100, 2), kUpgradeKernel, true},
        {"uboot kind 1", Component(100, 1), kUpgradeUboot, true},
        {"ai kind 5", Component(100, 5), kUpgradeAiLibrary, true},
        {"kind 2 as uboot", Component(100, 2), kUpgradeUboot, false},
        {"no head", Component(100, 2, "HEAD"), kUpgradeKernel, false},
        {"trailer only", Component(0, 2), kUpgradeKernel, true},
        {"15 bytes", std::vector<uint8_t>(15, 0), kUpgradeKernel, false},
        {"software without head", std::vector<uint8_t>(200, 0), kUpgradeSoftware, false},
        {"software 63 bytes", std::vector<uint8_t>(63, 0), kUpgradeSoftware, false},
        {"a component package as software", Component(100, 2), kUpgradeSoftware, false},
        {"unknown type", Component(100, 2), 4, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CheckPackage(row.file.data(), row.file.size(), row.type, v5).has_value(),
                  row.accepted)
            << row.what;
    }
}

TEST(UpgradePackage, HundredPiecesCoverThePayloadExactly) {
    for (uint32_t length : {0u, 50u, 99u, 100u, 250u, 1000003u}) {
        const PiecePlan plan = PlanPieces(length);
        uint32_t covered = 0;
        for (uint32_t sequence = 1; sequence <= kPieces; ++sequence) {
            EXPECT_EQ(plan.Offset(sequence), covered) << length << " piece " << sequence;
            covered += plan.Size(sequence);
        }
        EXPECT_EQ(covered, length);
    }
    EXPECT_EQ(PlanPieces(250).first, 52u);
    EXPECT_EQ(PlanPieces(250).piece, 2u);
    EXPECT_EQ(PlanPieces(50).first, 50u);
    EXPECT_EQ(PlanPieces(50).piece, 0u);
}

TEST(UpgradeResult, EveryCodeHasItsText) {
    const std::pair<int, uint32_t> rows[] = {{0, 1016}, {1, 1017}, {2, 1018}, {3, 1019}, {4, 1020},
                                             {5, 1021}, {6, 1022}, {7, 1023}, {8, 1024}, {10, 1039},
                                             {9, 0},    {11, 0},   {-1, 0}};
    for (const auto& [code, id] : rows) {
        EXPECT_EQ(UpgradeResultStringId(code), id) << code;
    }
}

}  // namespace
