// Damaged packages from tests/data/fac/make_packages.py: every truncation and
// every single-byte change (xor 0xFF, +1) of a small package goes through
// everything a push reads from it: the load, the item lists of every
// product type and both payloads. Each must be refused cleanly or give
// results that keep their own rules; a change inside an enciphered block
// never alters the package's table. Each damaged copy is an exact-size heap
// buffer, so AddressSanitizer sees any read past its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "FacTestSupport.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/SendData.h"

namespace {

using cfgpush::FAC_BLOCK_INFO;
using cfgpush::FacLoadResult;
using cfgpush::FacPackage;

uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

template <size_t N>
bool Terminated(const char (&field)[N]) {
    return std::string_view(field, N).find('\0') != std::string_view::npos;
}

bool InsideFile(const FAC_BLOCK_INFO& block, size_t fileSize) {
    return Terminated(block.name) && block.offset >= 0 && block.length >= 0 &&
           static_cast<size_t>(block.offset) + static_cast<size_t>(block.length) <= fileSize;
}

// What a loaded package shows of its table.
struct Table {
    std::string customer;
    int32_t commonOffset = 0;
    int32_t commonLength = 0;
    std::vector<std::tuple<int32_t, std::string, int32_t, int32_t>> products;
    bool operator==(const Table&) const = default;
};

Table TableOf(const FacPackage& package) {
    Table t{std::string(package.CustomerCode()), package.Customer().offset, package.Customer().length, {}};
    for (const auto& [number, block] : package.ProductTypes()) {
        t.products.emplace_back(number, std::string(cfgpush::BlockName(block)), block.offset, block.length);
    }
    return t;
}

// Loads the bytes and reads all a push would; a failed expectation names
// the damage. Returns the load's result.
FacLoadResult LoadAndUse(std::vector<uint8_t> bytes, FacPackage& package) {
    bytes.shrink_to_fit();
    const size_t size = bytes.size();
    const FacLoadResult result = package.LoadBytes(std::move(bytes));
    if (result != FacLoadResult::kLoaded) {
        EXPECT_EQ(result, FacLoadResult::kBadFormat);
        EXPECT_FALSE(package.IsLoaded());
        EXPECT_TRUE(package.FileBytes().empty());
        EXPECT_TRUE(package.ProductTypes().empty());
        return result;
    }
    EXPECT_EQ(package.FileBytes().size(), size);
    EXPECT_TRUE(InsideFile(package.Customer(), size));
    for (size_t k = 0; k < cfgpush::kPictureKindCount; ++k) {
        const FAC_BLOCK_INFO& slot = package.PictureSlot(static_cast<cfgpush::PictureKind>(k));
        EXPECT_TRUE(slot.length == 0 || InsideFile(slot, size)) << "picture slot " << k;
    }
    for (const auto& [number, block] : package.ProductTypes()) {
        EXPECT_TRUE(InsideFile(block, size)) << "product " << number;
    }
    for (const cfgpush::ProductTypeEntry& entry : package.ProductTypesInBoxOrder()) {
        cfgpush::FactoryItemLists lists;
        const bool built = cfgpush::BuildItemLists(package, entry.entryNumber, lists);
        EXPECT_EQ(lists.m_itemList.size(), lists.m_V4cfgItemList.size());
        for (size_t i = 0; i < lists.m_itemList.size(); ++i) {
            EXPECT_TRUE(Terminated(lists.m_itemList[i].key) && Terminated(lists.m_itemList[i].value));
            EXPECT_TRUE(Terminated(lists.m_V4cfgItemList[i].line));
        }
        if (!built) {
            continue;
        }
        std::vector<uint8_t> payload;
        EXPECT_TRUE(cfgpush::GetSendData(true, lists, package, payload));
        if (payload.size() >= 24) {
            EXPECT_EQ(Le32At(payload, 0), payload.size());
            EXPECT_LE(Le32At(payload, 20), payload.size() - 24);
        } else {
            ADD_FAILURE() << "version-4 payload of " << payload.size() << " bytes";
        }
        EXPECT_TRUE(cfgpush::GetSendData(false, lists, package, payload));
        if (payload.size() >= 4) {
            EXPECT_EQ(Le32At(payload, 0), lists.m_itemList.size());
            EXPECT_GE(payload.size(), 4 + lists.m_itemList.size() * sizeof(cfgpush::FACTORY_ITEM_INFO));
        } else {
            ADD_FAILURE() << "version-3 payload of " << payload.size() << " bytes";
        }
    }
    return result;
}

struct Damage {
    const char* what;
    std::function<uint8_t(uint8_t)> change;
};

TEST(FacDamage, EveryTruncationAndChangedByte) {
    const Damage damages[] = {
        {"xor 0xFF", [](uint8_t b) { return static_cast<uint8_t>(b ^ 0xFF); }},
        {"+1", [](uint8_t b) { return static_cast<uint8_t>(b + 1); }},
    };
    for (const char* name : {"small.fac", "login_wallpaper.fac"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> whole = fac_test::ReadDataFile(name);
        FacPackage original;
        ASSERT_EQ(LoadAndUse(whole, original), FacLoadResult::kLoaded);
        const Table table = TableOf(original);
        // The enciphered blocks: the common block, the pictures and each product's.
        std::vector<std::pair<size_t, size_t>> blocks = {
            {static_cast<size_t>(original.Customer().offset), static_cast<size_t>(original.Customer().length)}};
        for (size_t k = 0; k < cfgpush::kPictureKindCount; ++k) {
            const FAC_BLOCK_INFO& slot = original.PictureSlot(static_cast<cfgpush::PictureKind>(k));
            blocks.emplace_back(static_cast<size_t>(slot.offset), static_cast<size_t>(slot.length));
        }
        for (const auto& [number, block] : original.ProductTypes()) {
            blocks.emplace_back(static_cast<size_t>(block.offset), static_cast<size_t>(block.length));
        }
        auto insideBlock = [&](size_t at) {
            for (const auto& [offset, length] : blocks) {
                if (at >= offset && at < offset + length) return true;
            }
            return false;
        };

        for (size_t length = 0; length < whole.size(); ++length) {
            SCOPED_TRACE("cut to " + std::to_string(length));
            FacPackage package;
            LoadAndUse(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(length)), package);
        }
        for (const Damage& damage : damages) {
            for (size_t at = 0; at < whole.size(); ++at) {
                SCOPED_TRACE(std::string(damage.what) + " at " + std::to_string(at));
                std::vector<uint8_t> changed(whole);
                changed[at] = damage.change(changed[at]);
                FacPackage package;
                const FacLoadResult result = LoadAndUse(changed, package);
                if (insideBlock(at)) {
                    ASSERT_EQ(result, FacLoadResult::kLoaded);
                    EXPECT_EQ(TableOf(package), table);
                }
            }
        }
    }
}

}  // namespace
