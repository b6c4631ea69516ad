#include "cfgpush/engine/FactoryItems.h"

#include <cstring>
#include <set>

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

void AppendItem(const ConfigItem& item, FactoryItemLists& lists) {
    lists.m_V4cfgItemList.push_back(MakeV4Unit(item));
    lists.m_itemList.push_back(MakeFactoryItem(item));
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
    static constexpr std::string_view kLineEnd = "\r\n";
    std::vector<ConfigItem> items;
    while (!text.empty()) {
        const size_t end = text.find(kLineEnd);
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + kLineEnd.size());
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.find('#') != std::string_view::npos) {
            continue;
        }
        items.push_back({std::string(line), std::string(line.substr(0, equals)),
                         std::string(line.substr(equals + 1))});
    }
    return items;
}

FACTORY_ITEM_INFO MakeFactoryItem(const ConfigItem& item) {
    FACTORY_ITEM_INFO info;
    FillField(info.key, item.key);
    FillField(info.value, item.value);
    return info;
}

DEVICE_V4_UNIT MakeV4Unit(const ConfigItem& item) {
    DEVICE_V4_UNIT unit;
    FillField(unit.line, item.line);
    return unit;
}

bool BuildItemLists(const FacPackage& package, int32_t entryNumber, FactoryItemLists& lists) {
    lists.Clear();
    const std::vector<uint8_t> common = package.DecipherBlock(package.Customer());
    const std::string_view commonText = ConfigText(common);
    if (!HasConfigHeader(commonText)) {
        return false;
    }
    std::set<std::string, std::less<>> commonKeys;
    for (const ConfigItem& item : ParseConfigItems(commonText)) {
        AppendItem(item, lists);
        commonKeys.insert(item.key);
    }

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
    for (const ConfigItem& item : ParseConfigItems(productText)) {
        if (!commonKeys.contains(item.key)) {
            AppendItem(item, lists);
        }
    }
    return true;
}

}  // namespace cfgpush
