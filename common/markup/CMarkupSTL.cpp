#include "common/markup/CMarkupSTL.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "common/markup/EntityDecode.h"
#include "common/markup/MarkupNode.h"

using markup::MarkupNode;
using markup::NodeType;

namespace {

// Characters that end an element name read from a start tag (a zero byte
// included). A switch: this runs for every character of every name.
bool EndsName(char c) {
    switch (c) {
        case '\0':
        case '<':
        case '>':
        case '=':
        case '\\':
        case '/':
        case '?':
        case '!':
            return true;
        default:
            return markup::IsXmlSpace(c);
    }
}

// Names in messages are cut so a hostile text cannot make them huge.
std::string Cut(std::string_view name) {
    return std::string(name.substr(0, 200));
}

std::string OffsetText(size_t offset) {
    return std::to_string(static_cast<int>(offset));
}

std::string FormatMismatch(std::string_view endName, size_t endOffset, std::string_view startName,
                           size_t startOffset) {
    char buffer[600];
    std::snprintf(buffer, sizeof buffer,
                  "End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                  Cut(endName).c_str(), static_cast<int>(endOffset), Cut(startName).c_str(),
                  static_cast<int>(startOffset));
    return buffer;
}

// Where a searched name may go on after an element's name (a zero byte
// ends it, as it ends a C text).
bool EndsSearchedName(char c) {
    switch (c) {
        case '\0':
        case ' ':
        case '=':
        case '/':
        case '[':
        case ']':
            return true;
        default:
            return false;
    }
}

// True when an open element's name could match the end tag's name: the
// name itself, or the name cut where a searched name may go on (see
// NameMatches).
bool AnyOpenNameMatches(const std::unordered_map<std::string_view, size_t>& openNames,
                        std::string_view name) {
    for (size_t k = 0; k <= name.size(); ++k) {
        if ((k == name.size() || EndsSearchedName(name[k])) &&
            openNames.count(name.substr(0, k)) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

CMarkupSTL::CMarkupSTL() : CMarkupSTL(nullptr, 0) {}

CMarkupSTL::CMarkupSTL(std::string_view text) : CMarkupSTL(text.data(), text.size()) {}

CMarkupSTL::CMarkupSTL(const char* text, size_t length) {
    if (text != nullptr && length > 0) {
        m_doc.assign(text, length);
    }
    Parse();
}

void CMarkupSTL::RecordError(const std::string& message) {
    // Only the first problem of a parse is kept.
    if (!m_errorRecorded) {
        m_error = message;
        m_errorRecorded = true;
    }
}

int CMarkupSTL::AddChild(int parent, size_t start, size_t startTagLen, bool empty) {
    ElemPos e;
    e.start = start;
    e.startTagLen = startTagLen;
    e.length = startTagLen;
    e.flags = empty ? kEmptyElement : 0;
    e.parent = parent;
    const std::string_view name = ScanName(start);
    e.nameOffset = static_cast<size_t>(name.data() - m_doc.data());
    e.nameLength = name.size();
    const int index = static_cast<int>(m_elems.size());
    // Append as the last child of the parent.
    const int last = m_elems[parent].lastChild;
    e.prev = last;
    m_elems.push_back(e);
    if (last == 0) {
        m_elems[parent].firstChild = index;
    } else {
        m_elems[last].next = index;
    }
    m_elems[parent].lastChild = index;
    return index;
}

void CMarkupSTL::CloseNotEnded(std::vector<int>& open, size_t from) {
    // Each of open[from..] keeps only its start tag, and its children move
    // up to follow it, in order. An open element is always the last child
    // of its parent, so open[i + 1] ends open[i]'s child list and the whole
    // run flattens into one sibling chain under the parent of open[from],
    // each element touched once.
    const int parent = m_elems[open[from]].parent;
    // The chain now ends with the last child of the innermost element that
    // has children, or with the innermost element itself.
    const int innermost = open.back();
    m_elems[parent].lastChild =
        m_elems[innermost].lastChild != 0 ? m_elems[innermost].lastChild : innermost;
    for (size_t i = from; i < open.size(); ++i) {
        const int elem = open[i];
        ElemPos& e = m_elems[elem];
        e.flags |= kNotEnded;
        e.endTagLen = 0;
        e.length = e.startTagLen;
        const int child = e.firstChild;
        if (child == 0) {
            continue;
        }
        e.firstChild = 0;
        e.lastChild = 0;
        e.next = child;
        m_elems[child].prev = elem;
        for (int c = child; c != 0; c = m_elems[c].next) {
            m_elems[c].parent = parent;
        }
    }
    open.resize(from);
}

bool CMarkupSTL::Parse() {
    m_elems.clear();
    m_elems.reserve(m_doc.size() / 64 + 8);
    m_elems.emplace_back();  // entry 0: the document
    m_error.clear();
    m_errorRecorded = false;
    m_parent = m_main = m_child = 0;
    m_wellFormed = false;

    if (m_doc.empty()) {
        m_error = "Empty document";
        return false;
    }
    {
        // Entry 0 reads as a tag at offset 0, as every element does.
        const std::string_view name = ScanName(0);
        m_elems[0].nameOffset = static_cast<size_t>(name.data() - m_doc.data());
        m_elems[0].nameLength = name.size();
    }

    const std::string_view text(m_doc);
    bool illFormed = false;
    std::vector<int> open;  // open elements, innermost last
    // Deeply nested documents only: how many open elements carry each
    // name, so an end tag that no open element can match is known at once
    // instead of after searching them all. Shallow ones (every real
    // answer) are searched directly: that costs less than keeping the index.
    constexpr size_t kIndexFromDepth = 64;
    std::unordered_map<std::string_view, size_t> openNames;
    bool indexed = false;
    auto remember = [&](int elem) {
        if (indexed) {
            ++openNames[ElementName(elem)];
        } else if (open.size() > kIndexFromDepth) {
            for (const int e : open) {
                ++openNames[ElementName(e)];
            }
            indexed = true;
        }
    };
    auto forget = [&](size_t from) {
        for (size_t i = from; indexed && i < open.size(); ++i) {
            const auto it = openNames.find(ElementName(open[i]));
            if (it != openNames.end() && --it->second == 0) {
                openNames.erase(it);
            }
        }
        if (indexed && from < kIndexFromDepth / 2) {
            openNames.clear();
            indexed = false;
        }
    };
    size_t offset = 0;
    for (;;) {
        const MarkupNode node = markup::ScanNode(text, offset, text.size());
        if (node.type == NodeType::End) {
            break;
        }
        offset = node.end;
        switch (node.type) {
            case NodeType::StartTag: {
                const int parent = open.empty() ? 0 : open.back();
                const int elem =
                    AddChild(parent, node.start, node.end - node.start, node.emptyElement);
                if (!node.emptyElement) {
                    open.push_back(elem);
                    remember(elem);
                }
                break;
            }
            case NodeType::EndTag: {
                const std::string_view name =
                    text.substr(node.nameStart, node.nameEnd - node.nameStart);
                // Compared as a C text would be: up to a zero byte in it.
                const std::string_view nameText = name.substr(0, name.find('\0'));
                int match = -1;
                // The search from the innermost element ends at a match, and
                // everything it passed is closed: each element is passed once.
                const bool mayMatch = !name.empty() && (!indexed || AnyOpenNameMatches(openNames, name));
                for (int i = static_cast<int>(open.size()) - 1; i >= 0 && mayMatch; --i) {
                    if (NameMatches(open[static_cast<size_t>(i)], nameText)) {
                        match = i;
                        break;
                    }
                }
                if (match < 0) {
                    illFormed = true;
                    RecordError("No start tag for end tag '" + Cut(name) + "' at offset " +
                                OffsetText(node.start));
                    break;
                }
                if (match != static_cast<int>(open.size()) - 1) {
                    const int inner = open.back();
                    illFormed = true;
                    RecordError(FormatMismatch(name, node.start + 1, ElementName(inner),
                                               m_elems[inner].start));
                    forget(static_cast<size_t>(match) + 1);
                    CloseNotEnded(open, static_cast<size_t>(match) + 1);
                }
                ElemPos& e = m_elems[open.back()];
                e.endTagLen = node.end - node.start;
                e.length = node.end - e.start;
                forget(open.size() - 1);
                open.pop_back();
                break;
            }
            case NodeType::Error:
                illFormed = true;
                RecordError(node.error);
                break;
            default:
                break;  // text, white space, comments, CDATA, instructions, doctype
        }
    }
    if (!open.empty()) {
        const int innermost = open.back();
        illFormed = true;
        RecordError("Element '" + Cut(ElementName(innermost)) + "' at offset " +
                    OffsetText(m_elems[innermost].start) + " not ended");
        CloseNotEnded(open, 0);
    }

    const int root = m_elems[0].firstChild;
    if (root == 0) {
        m_error = "No root element";
    } else if (m_elems[root].next != 0) {
        m_error = "Root element has sibling";
    }
    m_wellFormed = root != 0 && m_elems[root].next == 0 && !illFormed;
    return m_wellFormed;
}

std::string_view CMarkupSTL::ElementName(int elem) const {
    return std::string_view(m_doc).substr(m_elems[elem].nameOffset, m_elems[elem].nameLength);
}

std::string_view CMarkupSTL::ScanName(size_t start) const {
    const std::string_view text(m_doc);
    size_t i = start + 1;
    while (i < text.size() && markup::IsXmlSpace(text[i])) {
        ++i;
    }
    size_t end = i;
    while (end < text.size() && !EndsName(text[end])) {
        ++end;
    }
    return text.substr(i, end - i);
}

bool CMarkupSTL::NameMatches(int elem, const char* name) const {
    if (name == nullptr) {
        return true;
    }
    return NameMatches(elem, std::string_view(name));
}

bool CMarkupSTL::NameMatches(int elem, std::string_view name) const {
    if (name.empty()) {
        return true;
    }
    // The searched name must begin with exactly the element's name and
    // continue with its end or one of " =/[]".
    const std::string_view own = ElementName(elem);
    if (name.size() < own.size() || name.compare(0, own.size(), own) != 0) {
        return false;
    }
    return name.size() == own.size() || EndsSearchedName(name[own.size()]);
}

int CMarkupSTL::FindSibling(int first, const char* name) const {
    for (int e = first; e != 0; e = m_elems[e].next) {
        if (NameMatches(e, name)) {
            return e;
        }
    }
    return 0;
}

bool CMarkupSTL::FindElement(const char* name) {
    const int first = m_main != 0 ? m_elems[m_main].next : m_elems[m_parent].firstChild;
    const int found = FindSibling(first, name);
    if (found == 0) {
        return false;
    }
    m_main = found;
    m_child = 0;
    return true;
}

bool CMarkupSTL::EnterElement() {
    if (m_main == 0) {
        return false;
    }
    m_parent = m_main;
    m_main = m_child;
    m_child = 0;
    return true;
}

bool CMarkupSTL::LeaveElement() {
    if (m_parent == 0) {
        return false;
    }
    m_child = m_main;
    m_main = m_parent;
    m_parent = m_elems[m_parent].parent;
    return true;
}

void CMarkupSTL::ResetMainPosition() {
    m_main = 0;
    m_child = 0;
}

bool CMarkupSTL::FindChildElement(const char* name) {
    if (m_main == 0 && !FindElement(nullptr)) {
        return false;
    }
    const int first = m_child != 0 ? m_elems[m_child].next : m_elems[m_main].firstChild;
    const int found = FindSibling(first, name);
    if (found == 0) {
        return false;
    }
    m_child = found;
    return true;
}

void CMarkupSTL::ResetChildPosition() {
    m_child = 0;
}

std::string CMarkupSTL::GetElementText() const {
    return m_main != 0 ? ElementText(m_main) : std::string();
}

std::string CMarkupSTL::GetChildElementText() const {
    return m_child != 0 ? ElementText(m_child) : std::string();
}

std::string CMarkupSTL::ElementText(int elem) const {
    const ElemPos& e = m_elems[elem];
    if (e.firstChild != 0 || (e.flags & (kEmptyElement | kNotEnded)) != 0) {
        return {};
    }
    const std::string_view text(m_doc);
    const size_t begin = e.start + e.startTagLen;
    const size_t end = e.start + e.length - e.endTagLen;
    if (end <= begin) {
        return {};
    }
    const std::string_view content = text.substr(begin, end - begin);
    if (content.find('<') == std::string_view::npos) {
        return markup::DecodeEntities(content);
    }
    // Comments, instructions or CDATA inside: decode the text nodes, take
    // CDATA as it stands, drop the rest.
    std::string out;
    size_t offset = begin;
    for (;;) {
        const MarkupNode node = markup::ScanNode(text, offset, end);
        if (node.type == NodeType::End) {
            break;
        }
        offset = node.end;
        if (node.type == NodeType::Text) {
            out += markup::DecodeEntities(text.substr(node.start, node.end - node.start));
        } else if (node.type == NodeType::CData) {
            const size_t inner = node.start + 9;  // after "<![CDATA["
            if (node.end >= inner + 3) {
                out.append(text.substr(inner, node.end - 3 - inner));
            }
        }
    }
    return out;
}
