#include "common/markup/MarkupNode.h"

namespace markup {
namespace {

std::string OffsetText(size_t offset) {
    return std::to_string(static_cast<int>(offset));
}

// Offset of `needle` in text[from, limit), or npos.
size_t FindIn(std::string_view text, std::string_view needle, size_t from, size_t limit) {
    if (from >= limit || limit - from < needle.size()) {
        return std::string_view::npos;
    }
    const size_t at = text.substr(0, limit).find(needle, from);
    return at;
}

// First ">" at or after `from` outside quoted values ("..." or '...').
size_t FindCloseOutsideQuotes(std::string_view text, size_t from, size_t limit) {
    char quote = 0;
    for (size_t i = from; i < limit; ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool IsNameStart(unsigned char c) {
    // Letters, "_", ":" and everything from "a" up, which takes in every
    // byte of 0x80 and above (UTF-8 names).
    return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 'a';
}

MarkupNode Unterminated(MarkupNode node, const char* what, size_t limit) {
    node.type = NodeType::Error;
    node.end = limit;
    node.error = std::string(what) + " at offset " + OffsetText(node.start) + " unterminated";
    return node;
}

// An erroneous node runs to the next ">" (inclusive) or up to the next "<".
MarkupNode Erroneous(MarkupNode node, std::string_view text, const char* word, size_t limit) {
    node.type = NodeType::Error;
    for (size_t i = node.start + 1; i < limit; ++i) {
        if (text[i] == '>') {
            node.end = i + 1;
            node.error = std::string("Incorrect ") + word + " at offset " + OffsetText(node.start);
            return node;
        }
        if (text[i] == '<') {
            node.end = i;
            node.error = std::string("Incorrect ") + word + " at offset " + OffsetText(node.start);
            return node;
        }
    }
    return Unterminated(node, "tag", limit);
}

MarkupNode ScanText(std::string_view text, size_t offset, size_t limit) {
    MarkupNode node;
    node.start = offset;
    bool allSpace = true;
    size_t i = offset;
    for (; i < limit && text[i] != '<'; ++i) {
        if (text[i] == '>') {
            ++i;  // a ">" in text ends the run after itself
            allSpace = false;
            break;
        }
        if (!IsXmlSpace(text[i])) {
            allSpace = false;
        }
    }
    node.end = i;
    node.type = (allSpace && i < limit && text[i] == '<') ? NodeType::Whitespace : NodeType::Text;
    return node;
}

MarkupNode ScanStartTag(std::string_view text, MarkupNode node, size_t limit) {
    node.type = NodeType::StartTag;
    node.nameStart = node.start + 1;
    size_t n = node.nameStart;
    while (n < limit && !IsXmlSpace(text[n]) && text[n] != '/' && text[n] != '>') {
        ++n;
    }
    node.nameEnd = n;
    const size_t close = FindCloseOutsideQuotes(text, node.nameStart, limit);
    if (close == std::string_view::npos) {
        return Unterminated(node, "Element tag", limit);
    }
    node.end = close + 1;
    if (close > node.start + 1 && text[close - 1] == '/') {
        const size_t slash = close - 1;
        const char before = text[slash - 1];
        node.emptyElement =
            slash == node.nameEnd || IsXmlSpace(before) || before == '\'' || before == '"';
    }
    return node;
}

MarkupNode ScanDoctype(std::string_view text, MarkupNode node, size_t limit) {
    // Ends at the first ">" that does not close a nested declaration
    // ("<!ELEMENT", "<!ATTLIST", "<!NOTATION", "<!ENTITY"), whose own ">"
    // is found outside quotes.
    size_t i = node.start + 2;
    while (i < limit) {
        if (text[i] == '>') {
            node.type = NodeType::Doctype;
            node.end = i + 1;
            return node;
        }
        if (text[i] == '<' && i + 2 < limit && text[i + 1] == '!' &&
            (text[i + 2] == 'E' || text[i + 2] == 'A' || text[i + 2] == 'N')) {
            const size_t close = FindCloseOutsideQuotes(text, i + 2, limit);
            if (close == std::string_view::npos) {
                break;
            }
            i = close + 1;
            continue;
        }
        ++i;
    }
    return Unterminated(node, "Doctype", limit);
}

MarkupNode ScanUntil(std::string_view text, MarkupNode node, NodeType type,
                     std::string_view terminator, size_t searchFrom, const char* what,
                     size_t limit) {
    const size_t at = FindIn(text, terminator, searchFrom, limit);
    if (at == std::string_view::npos) {
        return Unterminated(node, what, limit);
    }
    node.type = type;
    node.end = at + terminator.size();
    return node;
}

MarkupNode ScanBang(std::string_view text, MarkupNode node, size_t limit) {
    const size_t p = node.start;
    auto at = [&](size_t i) -> int { return i < limit ? static_cast<unsigned char>(text[i]) : -1; };
    const int c2 = at(p + 2);
    if (c2 == '-') {
        if (at(p + 3) != '-') {
            return Erroneous(node, text, "comment tag", limit);
        }
        return ScanUntil(text, node, NodeType::Comment, "-->", p + 4, "Comment", limit);
    }
    if (c2 == '[') {
        if (at(p + 3) != 'C') {
            return Erroneous(node, text, "tag", limit);
        }
        return ScanUntil(text, node, NodeType::CData, "]]>", p + 4, "CDATA Section", limit);
    }
    if (c2 == 'D') {
        return ScanDoctype(text, node, limit);
    }
    if (c2 == 'E' || c2 == 'A' || c2 == 'N') {
        const size_t close = FindCloseOutsideQuotes(text, p + 2, limit);
        if (close == std::string_view::npos) {
            return Unterminated(node, "Doctype", limit);
        }
        node.type = NodeType::Doctype;
        node.end = close + 1;
        return node;
    }
    return Erroneous(node, text, "! tag", limit);
}

}  // namespace

MarkupNode ScanNode(std::string_view text, size_t offset, size_t limit) {
    if (limit > text.size()) {
        limit = text.size();
    }
    MarkupNode node;
    node.start = offset;
    node.end = offset;
    if (offset >= limit) {
        node.type = NodeType::End;
        return node;
    }
    if (text[offset] != '<') {
        return ScanText(text, offset, limit);
    }
    if (offset + 1 >= limit) {
        return Erroneous(node, text, "tag name character", limit);
    }
    const auto c1 = static_cast<unsigned char>(text[offset + 1]);
    if (IsNameStart(c1)) {
        return ScanStartTag(text, node, limit);
    }
    switch (c1) {
        case '/': {
            node.nameStart = offset + 2;
            const size_t close = text.substr(0, limit).find('>', offset + 2);
            if (close == std::string_view::npos) {
                return Unterminated(node, "Element end tag", limit);
            }
            size_t n = node.nameStart;
            while (n < close && !IsXmlSpace(text[n])) {
                ++n;
            }
            node.nameEnd = n;
            node.type = NodeType::EndTag;
            node.end = close + 1;
            return node;
        }
        case '?':
            return ScanUntil(text, node, NodeType::Instruction, "?>", offset + 2,
                             "Processing instruction", limit);
        case '!':
            return ScanBang(text, node, limit);
        default:
            return Erroneous(node, text, "tag name character", limit);
    }
}

}  // namespace markup
