// The terminal table camprep discover prints: columns as wide as their
// widest cell, counted in terminal columns (a Chinese character takes two),
// cut with "~" past a column's limit, numbers to the right.

#include <gtest/gtest.h>

#include "common/report/TextTable.h"

namespace {

TEST(TextTable, ColumnsLineUpWhateverTheirCells) {
    report::TextTable table({{"NAME", 10}, {"PORT", 5, true}, {"MODEL", 8}});
    table.AddRow({"cam", "80", "IPC"});
    table.AddRow({"\xE5\x89\x8D\xE9\x97\xA8\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA", "9008",
                  "IPC-Bullet-X"});  // 前门摄像机
    table.AddRow({"a-very-long-camera-name", "1", ""});
    EXPECT_EQ(table.Text(),
              "NAME        PORT  MODEL\n"
              "cam           80  IPC\n"
              "\xE5\x89\x8D\xE9\x97\xA8\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA  9008  IPC-Bul~\n"
              "a-very-lo~     1\n");
}

TEST(TextTable, DisplayWidthCountsTerminalColumns) {
    const std::pair<const char*, size_t> cases[] = {
        {"", 0},
        {"abc", 3},
        {"\xE4\xB8\xAD", 2},  // 中
        {"\xEF\xBC\xA1", 2},  // full-width A
        {"e\xCC\x81", 1},     // e and a combining accent
        {"\xFF\xFE", 2},      // no UTF-8: a column a byte
        {"\xE4\xB8", 2},      // cut short
    };
    for (const auto& [text, width] : cases) {
        EXPECT_EQ(report::TextTable::DisplayWidth(text), width) << text;
    }
}

}  // namespace
