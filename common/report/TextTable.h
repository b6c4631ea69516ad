#pragma once
// A table for people to read on a terminal: every column as wide as its
// widest cell (headings included), up to a limit past which a cell is cut
// and ends in "~". Widths count terminal columns, not bytes: a UTF-8 device
// name in Chinese takes two columns a character.

#include <cstddef>
#include <string>
#include <vector>

namespace report {

class TextTable {
public:
    struct Column {
        std::string heading;
        size_t maxWidth = 40;     // terminal columns; longer cells are cut
        bool alignRight = false;  // numbers
    };

    explicit TextTable(std::vector<Column> columns) : m_columns(std::move(columns)) {}
    // A row of cells, one a column (missing cells are empty).
    void AddRow(std::vector<std::string> cells) { m_rows.push_back(std::move(cells)); }
    // The heading line and every row, columns two spaces apart, each line
    // ending in "\n" and no line with trailing spaces.
    std::string Text() const;

    // Terminal columns a UTF-8 text takes (bytes that are no UTF-8 count one each).
    static size_t DisplayWidth(const std::string& text);

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

}  // namespace report
