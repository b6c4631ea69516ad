#pragma once
// One program's string table in one language: the operator-visible texts
// by id, UTF-8. Tables are read from data files of this form:
//   # comment
//   1001 "Select All"
// (inside the quotes \" is a quote, \\ a backslash, \n a line end, \t a tab).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace strings {

class StringTable {
public:
    // Texts longer than this many bytes are cut by Load, as the window's
    // 256-byte load buffer does.
    static constexpr size_t kLoadLimit = 255;

    // Reads a table file's text. Lines it cannot read and repeated ids (the
    // first one is kept) are described in `errors` when given.
    static StringTable Parse(std::string_view fileText, std::vector<std::string>* errors = nullptr);

    // The text of `id`, or null when the table has none.
    const std::string* Find(uint32_t id) const;

    // The text of `id` as the programs load it: empty when missing, cut to
    // at most kLoadLimit bytes (at a character boundary).
    std::string Load(uint32_t id) const;

    std::vector<uint32_t> Ids() const;
    size_t Size() const { return m_texts.size(); }

private:
    std::map<uint32_t, std::string> m_texts;
};

}  // namespace strings
