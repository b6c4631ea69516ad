// Damaged upgrade packages: every truncation and every single-byte change of
// a small package of each type, read from tests/data/fwbatch (made by its
// make_packages.py). The package check must refuse what no longer carries
// its trailer and accept, with the payload length unchanged, what differs
// only in bytes the check does not look at. Each damaged copy is an
// exact-size heap buffer, so AddressSanitizer sees any read past its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "fwbatch/engine/UpgradePackage.h"

namespace {

using namespace fwbatch;

constexpr uint32_t Version(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

std::vector<uint8_t> ReadPackage(const std::string& name) {
    std::ifstream in(std::string(CAMPREP_TEST_DATA_DIR) + "/fwbatch/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Occurrences(const std::vector<uint8_t>& file, const std::string& text) {
    size_t n = 0;
    for (auto it = file.begin(); (it = std::search(it, file.end(), text.begin(), text.end())) != file.end(); ++it) {
        ++n;
    }
    return n;
}

struct Damage {
    const char* what;
    std::function<uint8_t(uint8_t)> change;
};

const Damage kDamages[] = {
    {"xor 0xFF", [](uint8_t b) { return static_cast<uint8_t>(b ^ 0xFF); }},
    {"+1", [](uint8_t b) { return static_cast<uint8_t>(b + 1); }},
};

struct PackageRow {
    const char* name;
    int type;
    uint32_t deviceVersion;
    size_t trailer;
    // The bytes the check reads besides the trailer's magic (and, for a
    // component, its kind): the gzip header when the device's version
    // asks for a compressed image.
    std::vector<size_t> checkedHeader;
};

const std::vector<PackageRow>& Packages() {
    static const std::vector<PackageRow> rows = {
        // 4.0.2 and above must not get a compressed image: any header change
        // still leaves a plain one.
        {"sw_250.pkg", kUpgradeSoftware, Version(4, 0, 2, 0), kSoftwareTrailer, {}},
        // Below 4.0.2 the image must be compressed: bytes 0..3, 8 and 9 say so.
        {"sw_gzip.pkg", kUpgradeSoftware, Version(4, 0, 1, 0), kSoftwareTrailer, {0, 1, 2, 3, 8, 9}},
        {"sw_gzip.pkg", kUpgradeSoftware, Version(5, 0, 0, 0), kSoftwareTrailer, {}},
        {"kernel.pkg", kUpgradeKernel, Version(5, 0, 0, 0), kComponentTrailer, {}},
        {"uboot.pkg", kUpgradeUboot, Version(5, 0, 0, 0), kComponentTrailer, {}},
        {"ai.pkg", kUpgradeAiLibrary, Version(5, 0, 0, 0), kComponentTrailer, {}},
    };
    return rows;
}

std::optional<uint32_t> Check(const std::vector<uint8_t>& bytes, const PackageRow& row) {
    std::vector<uint8_t> exact(bytes);
    exact.shrink_to_fit();
    return CheckPackage(exact.empty() ? nullptr : exact.data(), exact.size(), row.type, row.deviceVersion);
}

TEST(UpgradePackageDamage, EveryTruncationIsRefused) {
    for (const PackageRow& row : Packages()) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> whole = ReadPackage(row.name);
        ASSERT_GT(whole.size(), row.trailer);
        // The magic occurs once, in the trailer: a cut can never bring
        // another "head" to where the trailer would start.
        ASSERT_EQ(Occurrences(whole, "head"), 1u);
        ASSERT_EQ(Check(whole, row), whole.size() - row.trailer);
        for (size_t length = 0; length < whole.size(); ++length) {
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
            EXPECT_FALSE(Check(cut, row).has_value()) << "length " << length;
        }
    }
}

TEST(UpgradePackageDamage, EveryChangedByteIsRefusedOrLeavesThePayloadLength) {
    for (const PackageRow& row : Packages()) {
        const std::vector<uint8_t> whole = ReadPackage(row.name);
        ASSERT_GT(whole.size(), row.trailer) << row.name;
        const size_t trailer = whole.size() - row.trailer;
        // The magic, and a component's kind after it.
        const size_t checkedTrailerEnd = trailer + (row.trailer == kComponentTrailer ? 8 : 4);
        for (const Damage& damage : kDamages) {
            SCOPED_TRACE(std::string(row.name) + " " + damage.what);
            for (size_t at = 0; at < whole.size(); ++at) {
                std::vector<uint8_t> changed(whole);
                changed[at] = damage.change(changed[at]);
                const bool checked = (at >= trailer && at < checkedTrailerEnd) ||
                                     std::find(row.checkedHeader.begin(), row.checkedHeader.end(), at) !=
                                         row.checkedHeader.end();
                const std::optional<uint32_t> payload = Check(changed, row);
                if (checked) {
                    EXPECT_FALSE(payload.has_value()) << "byte " << at;
                } else {
                    EXPECT_EQ(payload, trailer) << "byte " << at;
                }
            }
        }
    }
}

// A package of one type offered as another: refused whatever the device.
TEST(UpgradePackageDamage, EveryOtherTypeIsRefused) {
    for (const PackageRow& row : Packages()) {
        const std::vector<uint8_t> whole = ReadPackage(row.name);
        for (int type = -1; type <= kUpgradeTypes; ++type) {
            if (type == row.type) {
                continue;
            }
            for (const uint32_t version : {Version(3, 0, 0, 0), Version(4, 0, 2, 0), Version(5, 0, 0, 0)}) {
                EXPECT_FALSE(CheckPackage(whole.data(), whole.size(), type, version).has_value())
                    << row.name << " as type " << type << " for " << std::hex << version;
            }
        }
    }
}

}  // namespace
