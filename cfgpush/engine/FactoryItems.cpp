#include "cfgpush/engine/FactoryItems.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "cfgpush/engine/FacFormat.h"
#include "cfgpush/engine/FacPackage.h"

namespace cfgpush {
namespace {

template <size_t N>
void FillField(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    if (!text.empty() && text.size() + 1 <= N) {
        std::memcpy(field, text.data(), text.size());
    }
}

// An item line of a configuration text, as views into the text.
struct ItemView {
    std::string_view line;
    std::string_view key;
    std::string_view value;
};

// Calls fn(ItemView) for every item line: lines end with CR LF; a line
// without "=" or with "#" anywhere is not an item.
template <typename Fn>
void ForEachItem(std::string_view text, Fn fn) {
    static constexpr std::string_view kLineEnd = "\r\n";
    while (!text.empty()) {
        const size_t end = text.find(kLineEnd);
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + kLineEnd.size());
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.find('#') != std::string_view::npos) {
            continue;
        }
        fn(ItemView{line, line.substr(0, equals), line.substr(equals + 1)});
    }
}

// At least the number of item lines of a text.
size_t LineCount(std::string_view text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

FACTORY_ITEM_INFO FactoryItemOf(std::string_view key, std::string_view value) {
    FACTORY_ITEM_INFO info;
    FillField(info.key, key);
    FillField(info.value, value);
    return info;
}

DEVICE_V4_UNIT V4UnitOf(std::string_view line) {
    DEVICE_V4_UNIT unit;
    FillField(unit.line, line);
    return unit;
}

void AppendItem(const ItemView& item, FactoryItemLists& lists) {
    lists.m_V4cfgItemList.push_back(V4UnitOf(item.line));
    lists.m_itemList.push_back(FactoryItemOf(item.key, item.value));
}

}  // namespace

std::string_view ConfigText(std::span<const uint8_t> block) {
    if (block.empty()) {
        return {};
    }
    const auto* text = reinterpret_cast<const char*>(block.data());
    return std::string_view(text, strnlen(text, block.size()));
}

bool HasConfigHeader(std::string_view text) {
    return text.find(kConfigHeader) != std::string_view::npos;
}

std::vector<ConfigItem> ParseConfigItems(std::string_view text) {
    std::vector<ConfigItem> items;
    ForEachItem(text, [&](const ItemView& item) {
        items.push_back({std::string(item.line), std::string(item.key), std::string(item.value)});
    });
    return items;
}

FACTORY_ITEM_INFO MakeFactoryItem(const ConfigItem& item) { return FactoryItemOf(item.key, item.value); }

DEVICE_V4_UNIT MakeV4Unit(const ConfigItem& item) { return V4UnitOf(item.line); }

bool BuildItemLists(const FacPackage& package, int32_t entryNumber, FactoryItemLists& lists) {
    lists.Clear();
    const std::vector<uint8_t> common = package.DecipherBlock(package.Customer());
    const std::string_view commonText = ConfigText(common);
    if (!HasConfigHeader(commonText)) {
        return false;
    }
    // Items are read as views into the deciphered blocks, which live to the
    // end. The common keys go into a sorted vector of views: a package may
    // hold hundreds of thousands of lines, and a binary search over one
    // array costs less than a hash set's scattered nodes.
    const size_t commonLines = LineCount(commonText);
    std::vector<std::string_view> commonKeys;
    commonKeys.reserve(commonLines);
    lists.m_itemList.reserve(commonLines);
    lists.m_V4cfgItemList.reserve(commonLines);
    ForEachItem(commonText, [&](const ItemView& item) {
        AppendItem(item, lists);
        commonKeys.push_back(item.key);
    });
    std::sort(commonKeys.begin(), commonKeys.end());

    const FAC_BLOCK_INFO* product = package.FindProduct(entryNumber);
    if (product == nullptr) {
        return false;
    }
    const std::vector<uint8_t> block = package.DecipherBlock(*product);
    const std::string_view productText = ConfigText(block);
    if (!HasConfigHeader(productText)) {
        return false;
    }
    // The common block wins: a product item whose key it has is dropped.
    const size_t productLines = LineCount(productText);
    lists.m_itemList.reserve(lists.m_itemList.size() + productLines);
    lists.m_V4cfgItemList.reserve(lists.m_V4cfgItemList.size() + productLines);
    ForEachItem(productText, [&](const ItemView& item) {
        if (!std::binary_search(commonKeys.begin(), commonKeys.end(), item.key)) {
            AppendItem(item, lists);
        }
    });
    return true;
}

}  // namespace cfgpush
