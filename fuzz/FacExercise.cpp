#include "fuzz/FacExercise.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

#include "cfgpush/engine/CustomerPictures.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/SendData.h"
#include "common/link/LinkFrames.h"
#include "fuzz/FuzzSupport.h"

namespace fuzz {
namespace {

// Product types examined per package: enough for every branch, few enough
// that a package of many empty entries stays quick.
constexpr size_t kMaxProducts = 16;

int Fold(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}

// a before b in the box: case-insensitive, shorter first on a common prefix.
bool FoldedLess(std::string_view a, std::string_view b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return Fold(a[i]) < Fold(b[i]);
        }
    }
    return a.size() < b.size();
}

void CheckBoxOrder(const cfgpush::FacPackage& package,
                   const std::vector<cfgpush::ProductTypeEntry>& entries) {
    FUZZ_CHECK(entries.size() == package.ProductTypes().size());
    std::set<int32_t> numbers;
    for (size_t i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(package.FindProduct(entries[i].entryNumber) != nullptr);
        numbers.insert(entries[i].entryNumber);
        if (i > 0) {
            const auto& a = entries[i - 1];
            const auto& b = entries[i];
            FUZZ_CHECK(!FoldedLess(b.name, a.name));
            // Equal names keep the file's order.
            FUZZ_CHECK(FoldedLess(a.name, b.name) || a.entryNumber < b.entryNumber);
        }
    }
    FUZZ_CHECK(numbers.size() == entries.size());
    for (size_t i = 0; i < entries.size() && i < kMaxProducts; ++i) {
        const auto found = package.FindProductByName(entries[i].name);
        FUZZ_CHECK(found.has_value());
        const auto* block = package.FindProduct(*found);
        FUZZ_CHECK(block != nullptr && cfgpush::BlockName(*block) == entries[i].name);
    }
}

void CheckPayloads(const cfgpush::FactoryItemLists& lists, const cfgpush::FacPackage& package) {
    std::vector<uint8_t> payload;
    if (cfgpush::GetSendData(true, lists, package, payload)) {
        // Its total length first, then "facConfig" in a 16-byte field.
        FUZZ_CHECK(payload.size() >= 24);
        FUZZ_CHECK(tcplink::ReadLe32(payload.data()) == payload.size());
        FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(payload.data() + 4), 10) ==
                   std::string_view("facConfig\0", 10));
        const uint32_t textLength = tcplink::ReadLe32(payload.data() + 20);
        FUZZ_CHECK(textLength <= payload.size() - 24);
    } else {
        FUZZ_CHECK(payload.empty());
    }
    if (cfgpush::GetSendData(false, lists, package, payload)) {
        FUZZ_CHECK(payload.size() >= 4);
        const uint32_t count = tcplink::ReadLe32(payload.data());
        FUZZ_CHECK(count == lists.m_itemList.size());
        FUZZ_CHECK(payload.size() >= 4 + uint64_t{count} * sizeof(cfgpush::FACTORY_ITEM_INFO));
    } else {
        FUZZ_CHECK(payload.empty());
    }
}

}  // namespace

void ExercisePackage(const cfgpush::FacPackage& package) {
    FUZZ_CHECK(package.IsLoaded());
    (void)package.CustomerCode();
    FUZZ_CHECK(package.PicturesPresent() == 0 || package.PicturesPresent() == 1);
    for (size_t k = 0; k < cfgpush::kPictureKindCount; ++k) {
        (void)cfgpush::PictureBytes(package, static_cast<cfgpush::PictureKind>(k));
    }

    const std::vector<cfgpush::ProductTypeEntry> entries = package.ProductTypesInBoxOrder();
    CheckBoxOrder(package, entries);
    for (size_t i = 0; i < entries.size() && i < kMaxProducts; ++i) {
        cfgpush::FactoryItemLists lists;
        const bool built = cfgpush::BuildItemLists(package, entries[i].entryNumber, lists);
        // Both lists hold the same items, in the same order.
        FUZZ_CHECK(lists.m_itemList.size() == lists.m_V4cfgItemList.size());
        for (const auto& item : lists.m_itemList) {
            FUZZ_CHECK(Terminated(item.key) && Terminated(item.value));
        }
        for (const auto& unit : lists.m_V4cfgItemList) {
            FUZZ_CHECK(Terminated(unit.line));
        }
        if (built) {
            CheckPayloads(lists, package);
        }
    }
}

}  // namespace fuzz
