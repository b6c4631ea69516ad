#include "strings/StringTable.h"

#include <cctype>
#include <cstdlib>

namespace strings {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// Reads `"..."` exactly (nothing may follow the closing quote).
bool ReadQuoted(std::string_view text, std::string& out) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return false;
    }
    out.clear();
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            return false;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 2 >= text.size()) {
            return false;
        }
        switch (text[++i]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

StringTable StringTable::Parse(std::string_view fileText, std::vector<std::string>* errors) {
    StringTable table;
    auto fail = [errors](size_t lineNumber, const char* what) {
        if (errors != nullptr) {
            errors->push_back("line " + std::to_string(lineNumber) + ": " + what);
        }
    };
    size_t lineNumber = 0;
    while (!fileText.empty()) {
        const size_t end = fileText.find('\n');
        std::string_view line = TrimBlanks(fileText.substr(0, end));
        fileText.remove_prefix(end == std::string_view::npos ? fileText.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        size_t digits = 0;
        while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) {
            ++digits;
        }
        if (digits == 0 || digits > 5 || digits == line.size() ||
            (line[digits] != ' ' && line[digits] != '\t')) {
            fail(lineNumber, "expected an id, blanks and a quoted text");
            continue;
        }
        const auto id = static_cast<uint32_t>(
            std::strtoul(std::string(line.substr(0, digits)).c_str(), nullptr, 10));
        std::string text;
        if (!ReadQuoted(TrimBlanks(line.substr(digits)), text)) {
            fail(lineNumber, "the text must be one double-quoted string");
            continue;
        }
        if (!table.m_texts.emplace(id, std::move(text)).second) {
            fail(lineNumber, "the id is already in the table");
        }
    }
    return table;
}

const std::string* StringTable::Find(uint32_t id) const {
    const auto it = m_texts.find(id);
    return it == m_texts.end() ? nullptr : &it->second;
}

std::string StringTable::Load(uint32_t id) const {
    const std::string* text = Find(id);
    if (text == nullptr) {
        return {};
    }
    if (text->size() <= kLoadLimit) {
        return *text;
    }
    // Never cut inside a UTF-8 sequence: back up over continuation bytes.
    size_t cut = kLoadLimit;
    while (cut > 0 && (static_cast<unsigned char>((*text)[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text->substr(0, cut);
}

std::vector<uint32_t> StringTable::Ids() const {
    std::vector<uint32_t> ids;
    ids.reserve(m_texts.size());
    for (const auto& entry : m_texts) {
        ids.push_back(entry.first);
    }
    return ids;
}

}  // namespace strings
