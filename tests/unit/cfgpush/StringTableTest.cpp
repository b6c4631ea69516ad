// String tables: the file format, and Cfgpush's built-in tables holding
// every id in English and Simplified Chinese.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "cfgpush/engine/CfgpushStringIds.h"
#include "strings/EmbeddedStrings.h"
#include "strings/StringTable.h"

namespace {

using strings::StringTable;

TEST(StringTable, FileFormat) {
    std::vector<std::string> errors;
    const StringTable table = StringTable::Parse(
        "# comment\n"
        "\n"
        "1001 \"Select All\"\r\n"
        "  1002\t\"with \\\"quotes\\\", a \\\\ and\\na line end\"  \n"
        "1003 \"\"\n"
        "1004 \"  blanks kept  \"\n"
        "1005 \"\xe5\x85\xa8\xe9\x80\x89\"",
        &errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(table.Size(), 5u);
    EXPECT_EQ(table.Load(1001), "Select All");
    EXPECT_EQ(table.Load(1002), "with \"quotes\", a \\ and\na line end");
    ASSERT_NE(table.Find(1003), nullptr);
    EXPECT_EQ(*table.Find(1003), "");
    EXPECT_EQ(table.Load(1004), "  blanks kept  ");
    EXPECT_EQ(table.Load(1005), "\xe5\x85\xa8\xe9\x80\x89");
    EXPECT_EQ(table.Find(9999), nullptr);
    EXPECT_EQ(table.Load(9999), "");
}

TEST(StringTable, BadLinesAreReported) {
    std::vector<std::string> errors;
    const StringTable table = StringTable::Parse(
        "1001 Select All\n"   // no quotes
        "1002 \"open\n"       // unterminated
        "x \"no id\"\n"       // no id
        "1003 \"a\" \"b\"\n"  // two strings
        "1004 \"bad \\q\"\n"  // unknown escape
        "1005 \"ok\"\n"
        "1005 \"again\"\n",  // repeated id: the first is kept
        &errors);
    EXPECT_EQ(errors.size(), 6u);
    EXPECT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.Load(1005), "ok");
    EXPECT_EQ(errors.front().rfind("line 1:", 0), 0u);
}

TEST(StringTable, LoadCutsAt255BytesOnACharacterBoundary) {
    const std::string ascii(300, 'a');
    std::string chinese;
    for (int i = 0; i < 100; ++i) {
        chinese += "\xe4\xb8\xad";  // 3 bytes each
    }
    const StringTable table =
        StringTable::Parse("1 \"" + ascii + "\"\n2 \"" + chinese + "\"\n", nullptr);
    EXPECT_EQ(table.Load(1), std::string(255, 'a'));
    EXPECT_EQ(table.Load(2).size(), 255u);  // 85 whole characters
    EXPECT_EQ(table.Load(2), chinese.substr(0, 255));
    const std::string withTail = "b" + chinese;
    const StringTable shifted = StringTable::Parse("3 \"" + withTail + "\"", nullptr);
    EXPECT_EQ(shifted.Load(3), withTail.substr(0, 253));  // not inside a character
}

const std::map<uint32_t, std::pair<std::string, std::string>>& CfgpushTexts() {
    static const std::map<uint32_t, std::pair<std::string, std::string>> texts = {
        {1001, {"Select All", "全选"}},
        {1002, {"Clear All", "清除"}},
        {1003, {"MAC Address", "MAC地址"}},
        {1004, {"Browse", "浏览"}},
        {1005, {"Set default configuration", "设置出厂属性"}},
        {1006, {"Device Name", "设备名称"}},
        {1007, {"Being configured, please wait. . . . . .", "正在配置，请耐心等待。。。。。。"}},
        {1008, {"Product Type", "产品类型"}},
        {1009, {"Software version", "软件版本"}},
        {1010, {"Result", "结果"}},
        {1011, {"Success!", "配置成功。"}},
        {1012, {"NO", "无"}},
        {1013, {"Product type error!", "产品类型错误！"}},
        {1014, {"configuration content error!", "配置内容不正确！"}},
        {1015, {"Disconnected!", "网络断开！"}},
        {1016, {"Failed!", "配置失败！"}},
        {1017, {"IP Address", "IP 地址"}},
        {1018, {"User Name:", "用户名称"}},
        {1019, {"Select a profile", "选择配置文件"}},
        {1020, {"Product Type", "设备类型"}},
        {1021, {"Logo:", "logo图片"}},
        {1022, {"Customer code", "客户代码"}},
        {1023, {"Picture type", "图片类型"}},
        {1024, {"The configuration file is not in the correct format!", "配置文件格式不正确！"}},
        {1025, {"Please select the device first!", "请先选择设备！"}},
        {1026, {"Please import the configuration file first!", "请先导入配置文件！"}},
        {1027, {"The configuration file is incorrect!", "配置文件有误！"}},
        {1028, {"The Import Profiles tool", "导入配置文件工具"}},
        {1029, {"Password:", "用户密码"}},
    };
    return texts;
}

TEST(CfgpushStrings, BuiltInTablesHoldEveryText) {
    const StringTable* english = strings::FindTable("cfgpush", 2057);
    const StringTable* chinese = strings::FindTable("cfgpush", 2052);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(chinese, nullptr);
    // The program's 29 texts and the list menu's 20 (ids 1200..1219).
    EXPECT_EQ(english->Size(), 49u);
    EXPECT_EQ(chinese->Ids(), english->Ids());
    EXPECT_EQ(english->Ids().back(), 1219u);
    for (uint32_t id = cfgpush::ids::kFirst; id <= cfgpush::ids::kLast; ++id) {
        SCOPED_TRACE(id);
        const auto& want = CfgpushTexts().at(id);
        EXPECT_EQ(english->Load(id), want.first);
        EXPECT_EQ(chinese->Load(id), want.second);
    }
    EXPECT_EQ(strings::FindTable("cfgpush", 1028), nullptr);
    EXPECT_EQ(strings::FindTable("nosuchprogram", 2057), nullptr);
    for (const strings::TableInfo& info : strings::Tables()) {
        EXPECT_TRUE(info.errors.empty())
            << info.program << " " << info.languageId << ": " << info.errors.front();
    }
}

#ifndef _WIN32
// Windows takes the language from the system, not the environment.
TEST(CfgpushStrings, TableFollowsTheLocale) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "zh_HK.UTF-8", 1);
    EXPECT_EQ(strings::CfgpushStrings().Load(cfgpush::ids::kResultSuccess), "配置成功。");
    setenv("LANG", "zh_SG.UTF-8", 1);  // other Chinese: English
    EXPECT_EQ(strings::CfgpushStrings().Load(cfgpush::ids::kResultSuccess), "Success!");
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(strings::CfgpushStrings().Load(cfgpush::ids::kWindowTitle), "导入配置文件工具");
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(strings::CfgpushStrings().Load(cfgpush::ids::kWindowTitle),
              "The Import Profiles tool");
}
#endif

}  // namespace
