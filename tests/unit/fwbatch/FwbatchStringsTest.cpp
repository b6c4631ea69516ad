// Fwbatch's built-in string tables and its language rule.
#include <gtest/gtest.h>

#include <set>

#include "common/platform/Language.h"
#include "strings/EmbeddedStrings.h"

namespace {

std::set<uint32_t> Ids(const strings::StringTable& table) {
    std::set<uint32_t> ids;
    for (uint32_t id = 1000; id < 1100; ++id) {
        if (table.Find(id) != nullptr) ids.insert(id);
    }
    return ids;
}

TEST(FwbatchStrings, ThreeTablesWithTheSameIds) {
    for (const strings::TableInfo& info : strings::Tables()) {
        EXPECT_TRUE(info.errors.empty()) << info.program << " " << info.languageId;
    }
    const strings::StringTable* english = strings::FindTable("fwbatch", 2057);
    const strings::StringTable* traditional = strings::FindTable("fwbatch", 1028);
    const strings::StringTable* simplified = strings::FindTable("fwbatch", 2052);
    ASSERT_TRUE(english && traditional && simplified);
    std::set<uint32_t> expected;
    for (uint32_t id = 1002; id <= 1040; ++id) expected.insert(id);
    for (uint32_t id = 1047; id <= 1062; ++id) expected.insert(id);
    expected.erase(1060);
    expected.erase(1061);
    EXPECT_EQ(Ids(*english), expected);
    EXPECT_EQ(Ids(*traditional), expected);
    // The show/hide texts exist only in Simplified Chinese.
    expected.insert({1060, 1061});
    EXPECT_EQ(Ids(*simplified), expected);
    // Additions (verify 1100..1102, the adapter group 1110, the list menu
    // 1200..1219): in every language.
    for (uint32_t id = 1100; id < 1300; ++id) {
        const bool added = id <= 1102 || id == 1110 || (id >= 1200 && id <= 1219);
        for (const strings::StringTable* table : {english, traditional, simplified}) {
            EXPECT_EQ(table->Find(id) != nullptr, added) << id;
        }
    }
    EXPECT_EQ(english->Load(1047), "Batch update supports maximum 32 pieces upgrading simultaneously.");
    EXPECT_EQ(simplified->Load(1021), "\xe5\x8d\x87\xe7\xba\xa7\xe5\xa4\xb1\xe8\xb4\xa5\xef\xbc\x81");  // 升级失败！
}

TEST(FwbatchStrings, LanguageRule) {
    const std::pair<uint16_t, uint16_t> rows[] = {
        {1028, 1028}, {2052, 2052}, {3076, 1028}, {1033, 2057}, {1031, 2057}, {2057, 2057}, {4100, 2057}};
    for (const auto& [system, table] : rows) {
        EXPECT_EQ(platform::FwbatchInterfaceLanguage(system), table) << system;
    }
}

}  // namespace
