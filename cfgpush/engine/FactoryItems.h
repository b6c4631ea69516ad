#pragma once
// Configuration items: the lines of a deciphered configuration block, and
// the two item lists that a push sends, built from the common block and the
// selected product type's block.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cfgpush {

class FacPackage;

// Version-3 devices receive key and value.
struct FACTORY_ITEM_INFO {
    char key[32];    // zero-filled 8-bit text
    char value[32];  // zero-filled 8-bit text
};

// Version-4 devices receive the whole line: key, "=" and value.
struct DEVICE_V4_UNIT {
    char line[48];  // zero-filled 8-bit text
};

// One item line of a configuration text, as written there.
struct ConfigItem {
    std::string line;
    std::string key;    // the text before the first "="
    std::string value;  // everything after it
};

// The text of a deciphered block: its bytes up to the first zero byte.
std::string_view ConfigText(std::span<const uint8_t> block);

// True when the text contains "[IPCamera-Config-File]" anywhere.
bool HasConfigHeader(std::string_view text);

// The items of a configuration text in order. Lines are separated by CR LF
// (the last needs none); a line is an item when it contains "=" and no "#".
// Nothing is trimmed and letter case is kept.
std::vector<ConfigItem> ParseConfigItems(std::string_view text);

// A text goes into a fixed field only when it fits with its terminating
// zero; otherwise the field stays all zero.
FACTORY_ITEM_INFO MakeFactoryItem(const ConfigItem& item);
DEVICE_V4_UNIT MakeV4Unit(const ConfigItem& item);

// The text of a fixed field, up to its first zero byte.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string_view(field, length);
}

// The items a push sends, in the same order in both lists: the common
// block's items, then the product block's items whose key the common block
// does not have (items repeated inside one block are all kept).
struct FactoryItemLists {
    std::vector<FACTORY_ITEM_INFO> m_itemList;
    std::vector<DEVICE_V4_UNIT> m_V4cfgItemList;

    void Clear() {
        m_itemList.clear();
        m_V4cfgItemList.clear();
    }
};

// Builds the lists for the product type with `entryNumber`. False when the
// common block or the product block does not decipher or lacks the header,
// or the package has no such product type ("The configuration file is
// incorrect!"); the lists then hold what was built before the failure.
bool BuildItemLists(const FacPackage& package, int32_t entryNumber, FactoryItemLists& lists);

}  // namespace cfgpush
