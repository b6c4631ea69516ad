// Configuration items: the line rules on texts written out here, and the
// item lists of the script's packages against the items the script meant.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "FacTestSupport.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"

namespace {

using cfgpush::ConfigItem;
using cfgpush::FieldText;
using Triple = std::tuple<std::string, std::string, std::string>;

std::vector<Triple> Parsed(std::string_view text) {
    std::vector<Triple> out;
    for (const ConfigItem& item : cfgpush::ParseConfigItems(text)) {
        out.emplace_back(item.line, item.key, item.value);
    }
    return out;
}

// What the device receives: line, key and value from the fixed fields.
std::vector<Triple> Sent(const cfgpush::FactoryItemLists& lists) {
    EXPECT_EQ(lists.m_itemList.size(), lists.m_V4cfgItemList.size());
    std::vector<Triple> out;
    for (size_t i = 0; i < lists.m_itemList.size(); ++i) {
        out.emplace_back(std::string(FieldText(lists.m_V4cfgItemList[i].line)),
                         std::string(FieldText(lists.m_itemList[i].key)),
                         std::string(FieldText(lists.m_itemList[i].value)));
    }
    return out;
}

TEST(ConfigText, LineRules) {
    EXPECT_EQ(Parsed("[IPCamera-Config-File]\r\na=1\r\nb=2\r\n"),
              (std::vector<Triple>{{"a=1", "a", "1"}, {"b=2", "b", "2"}}));
    // "#" anywhere makes a comment; "p=q=1" splits at the first "=".
    EXPECT_EQ(Parsed("x=y#z\r\n# c=1\r\n#=\r\np=q=1"),
              (std::vector<Triple>{{"p=q=1", "p", "q=1"}}));
    // Nothing trimmed, case kept, empty values and keys allowed.
    EXPECT_EQ(
        Parsed("  k = v\r\nKey=\r\n=v\r\n"),
        (std::vector<Triple>{{"  k = v", "  k ", " v"}, {"Key=", "Key", ""}, {"=v", "", "v"}}));
    // Blank lines, lines without "=" and the header are skipped.
    EXPECT_EQ(Parsed("\r\n\r\nno equals\r\n[IPCamera-Config-File]\r\n"), std::vector<Triple>{});
    // The last line needs no CR LF.
    EXPECT_EQ(Parsed("a=1\r\nz=9"), (std::vector<Triple>{{"a=1", "a", "1"}, {"z=9", "z", "9"}}));
    // LF alone does not end a line, nor does CR alone.
    EXPECT_EQ(Parsed("a=1\nb=2\rc=3"),
              (std::vector<Triple>{{"a=1\nb=2\rc=3", "a", "1\nb=2\rc=3"}}));
    // A CR LF split over "\r\r\n" leaves the CR in the line.
    EXPECT_EQ(Parsed("a=1\r\r\nb=2"),
              (std::vector<Triple>{{"a=1\r", "a", "1\r"}, {"b=2", "b", "2"}}));
    EXPECT_TRUE(Parsed("").empty());
}

TEST(ConfigText, HeaderAnywhereAndTextEndsAtZero) {
    EXPECT_TRUE(cfgpush::HasConfigHeader("x=1\r\n[IPCamera-Config-File]"));
    EXPECT_TRUE(cfgpush::HasConfigHeader("junk[IPCamera-Config-File]junk"));
    EXPECT_FALSE(cfgpush::HasConfigHeader("[IPCamera-Config-file]"));
    EXPECT_FALSE(cfgpush::HasConfigHeader("[IPCamera-Config-File"));

    const std::vector<uint8_t> block = fac_test::Bytes(std::string("a=1\0b=2", 7));
    EXPECT_EQ(cfgpush::ConfigText(block), "a=1");
    EXPECT_EQ(cfgpush::ConfigText(fac_test::Bytes("no zero")), "no zero");
}

TEST(ConfigText, FixedFieldsKeepOnlyTextsThatFit) {
    const std::string key31(31, 'k');
    const std::string value31(31, 'v');
    const ConfigItem fits{std::string(47, 'l'), key31, value31};
    const auto item = cfgpush::MakeFactoryItem(fits);
    EXPECT_EQ(FieldText(item.key), key31);
    EXPECT_EQ(item.key[31], '\0');
    EXPECT_EQ(FieldText(item.value), value31);
    const auto unit = cfgpush::MakeV4Unit(fits);
    EXPECT_EQ(FieldText(unit.line), std::string(47, 'l'));
    EXPECT_EQ(unit.line[47], '\0');

    // One byte more and the whole field stays zero.
    const ConfigItem tooLong{std::string(48, 'l'), std::string(32, 'k'), std::string(40, 'v')};
    const auto empty = cfgpush::MakeFactoryItem(tooLong);
    const auto emptyUnit = cfgpush::MakeV4Unit(tooLong);
    EXPECT_EQ(std::string(empty.key, 32), std::string(32, '\0'));
    EXPECT_EQ(std::string(empty.value, 32), std::string(32, '\0'));
    EXPECT_EQ(std::string(emptyUnit.line, 48), std::string(48, '\0'));

    // Short texts are zero-filled behind.
    const auto small = cfgpush::MakeFactoryItem({"a=1", "a", "1"});
    EXPECT_EQ(std::string(small.key, 32), std::string("a") + std::string(31, '\0'));
}

// The script's items for every product type of every package it made.
TEST(ItemLists, ScriptPackagesGiveTheIntendedItems) {
    int checked = 0;
    for (const auto& [name, expect] : fac_test::Manifest().items()) {
        if (expect["load"] != "loaded") {
            continue;
        }
        cfgpush::FacPackage package;
        ASSERT_EQ(package.Load(fac_test::DataPath(name)), cfgpush::FacLoadResult::kLoaded) << name;
        for (const auto& [productType, items] : expect["items"].items()) {
            SCOPED_TRACE(name + " / " + productType);
            const auto entry = package.FindProductByName(productType);
            ASSERT_TRUE(entry.has_value());
            cfgpush::FactoryItemLists lists;
            ASSERT_TRUE(cfgpush::BuildItemLists(package, *entry, lists));
            std::vector<Triple> want;
            for (const auto& item : items) {
                want.emplace_back(item[0].get<std::string>(), item[1].get<std::string>(),
                                  item[2].get<std::string>());
            }
            EXPECT_EQ(Sent(lists), want);
            ++checked;
        }
        if (expect.contains("items_fail")) {
            for (const auto& productType : expect["items_fail"]) {
                SCOPED_TRACE(name + " / " + productType.get<std::string>());
                const auto entry = package.FindProductByName(productType.get<std::string>());
                ASSERT_TRUE(entry.has_value());
                cfgpush::FactoryItemLists lists;
                EXPECT_FALSE(cfgpush::BuildItemLists(package, *entry, lists));
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 15);
}

// The rules as the window sees them, on the full package: common block
// first, product items after, the common block winning by exact key.
TEST(ItemLists, CommonBlockWinsAndRepeatsStay) {
    cfgpush::FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("small.fac")), cfgpush::FacLoadResult::kLoaded);
    cfgpush::FactoryItemLists lists;
    // Common a=1, b=2; product IPC-B b=9, c=3.
    ASSERT_TRUE(cfgpush::BuildItemLists(package, 0, lists));
    EXPECT_EQ(Sent(lists),
              (std::vector<Triple>{{"a=1", "a", "1"}, {"b=2", "b", "2"}, {"c=3", "c", "3"}}));

    ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), cfgpush::FacLoadResult::kLoaded);
    ASSERT_TRUE(cfgpush::BuildItemLists(package, *package.FindProductByName("IPC-B"), lists));
    const auto sent = Sent(lists);
    ASSERT_GE(sent.size(), 3u);
    // c=3 and c=4 are both kept; "case" differs from "Case" by letter case
    // and is kept; Case=dropped and z=0 lose against the common block.
    EXPECT_EQ(sent[sent.size() - 3], Triple("c=3", "c", "3"));
    EXPECT_EQ(sent[sent.size() - 2], Triple("c=4", "c", "4"));
    EXPECT_EQ(sent[sent.size() - 1], Triple("case=lower", "case", "lower"));
}

TEST(ItemLists, RebuildingStartsFromEmptyLists) {
    cfgpush::FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("small.fac")), cfgpush::FacLoadResult::kLoaded);
    cfgpush::FactoryItemLists lists;
    ASSERT_TRUE(cfgpush::BuildItemLists(package, 0, lists));
    ASSERT_TRUE(cfgpush::BuildItemLists(package, 0, lists));
    EXPECT_EQ(lists.m_itemList.size(), 3u);
    EXPECT_FALSE(cfgpush::BuildItemLists(package, 7, lists));  // no such product type

    cfgpush::FacPackage empty;
    EXPECT_FALSE(cfgpush::BuildItemLists(empty, 0, lists));
    EXPECT_TRUE(lists.m_itemList.empty());
}

}  // namespace
