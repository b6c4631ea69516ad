#include "common/report/TextTable.h"

#include <algorithm>
#include <cstdint>

namespace report {
namespace {

// One UTF-8 character at text[i]: its code point and length, or the byte
// alone (length 1, no code point) when it is no UTF-8.
size_t NextChar(const std::string& text, size_t i, uint32_t& code) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80         ? 1
                    : (byte >> 5) == 6  ? 2
                    : (byte >> 4) == 14 ? 3
                    : (byte >> 3) == 30 ? 4
                                        : 0;
    if (length == 0 || i + length > text.size()) {
        code = 0xFFFFFFFF;
        return 1;
    }
    code = length == 1 ? byte : byte & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            code = 0xFFFFFFFF;
            return 1;
        }
        code = (code << 6) | (next & 0x3F);
    }
    return length;
}

// East Asian wide and full-width characters take two terminal columns,
// combining marks none.
size_t CharWidth(uint32_t code) {
    if (code == 0xFFFFFFFF) {
        return 1;
    }
    if ((code >= 0x0300 && code <= 0x036F) || (code >= 0x200B && code <= 0x200F)) {
        return 0;
    }
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1FAFF) ||
                      (code >= 0x20000 && code <= 0x3FFFD);
    return wide ? 2 : 1;
}

// The text cut to at most `width` columns, "~" marking the cut.
std::string Cut(const std::string& text, size_t width) {
    if (TextTable::DisplayWidth(text) <= width) {
        return text;
    }
    std::string out;
    size_t used = 0;
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        const size_t length = NextChar(text, i, code);
        const size_t w = CharWidth(code);
        if (used + w + 1 > width) {
            break;
        }
        out.append(text, i, length);
        used += w;
        i += length;
    }
    return out + "~";
}

}  // namespace

size_t TextTable::DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        i += NextChar(text, i, code);
        width += CharWidth(code);
    }
    return width;
}

std::string TextTable::Text() const {
    std::vector<std::vector<std::string>> lines;
    lines.reserve(m_rows.size() + 1);
    std::vector<std::string> headings;
    for (const Column& c : m_columns) {
        headings.push_back(c.heading);
    }
    lines.push_back(std::move(headings));
    for (const auto& row : m_rows) {
        std::vector<std::string> cells;
        for (size_t c = 0; c < m_columns.size(); ++c) {
            cells.push_back(Cut(c < row.size() ? row[c] : std::string(), m_columns[c].maxWidth));
        }
        lines.push_back(std::move(cells));
    }
    std::vector<size_t> widths(m_columns.size(), 0);
    for (const auto& line : lines) {
        for (size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
        }
    }
    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (size_t c = 0; c < line.size(); ++c) {
            const std::string padding(widths[c] - DisplayWidth(line[c]), ' ');
            if (c > 0) {
                text += "  ";
            }
            text += m_columns[c].alignRight ? padding + line[c] : line[c] + padding;
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + "\n";
    }
    return out;
}

}  // namespace report
