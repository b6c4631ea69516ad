#pragma once
// The node scanner of the XML reader: one node of markup from an offset,
// as a pure function over the text. Shared by the parser (which builds the
// element tree) and by element-text extraction (which scans content).

#include <cstddef>
#include <string>
#include <string_view>

namespace markup {

enum class NodeType {
    End,          // end of the text at the start offset
    Text,         // character data
    Whitespace,   // white space only, followed by "<"
    StartTag,     // "<name ...>" or "<name .../>"
    EndTag,       // "</name>"
    Instruction,  // "<? ... ?>"
    Comment,      // "<!-- ... -->"
    CData,        // "<![CDATA[ ... ]]>"
    Doctype,      // "<!DOCTYPE ... >" and markup declarations "<!ELEMENT ...>"
    Error,        // a "<" that starts nothing valid, or an unterminated node
};

struct MarkupNode {
    NodeType type = NodeType::End;
    size_t start = 0;      // offset of the node's first character ("<" for markup)
    size_t end = 0;        // offset just past the node
    size_t nameStart = 0;  // start and end tags: the name
    size_t nameEnd = 0;
    bool emptyElement = false;  // start tag ending in "/>"
    std::string error;          // Error (and unterminated nodes): the message
};

// Scans one node of text[offset, limit). `limit` bounds every search, so
// content can be scanned without looking past its end tag.
MarkupNode ScanNode(std::string_view text, size_t offset, size_t limit);

// True for space, tab, LF and CR.
inline bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace markup
