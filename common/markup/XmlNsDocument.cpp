#include "common/markup/XmlNsDocument.h"

#include "common/markup/EntityDecode.h"
#include "common/markup/MarkupNode.h"

namespace markup {
namespace {

constexpr std::string_view kXmlPrefixUri = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kCDataOpen = "<![CDATA[";

struct RawAttribute {
    std::string_view name;
    std::string value;
};

bool ValidQName(std::string_view name) {
    if (name.empty() || name.front() == ':' || name.back() == ':') {
        return false;
    }
    return name.find(':') == name.rfind(':');
}

void SplitQName(std::string_view qname, std::string_view& prefix, std::string_view& local) {
    const size_t colon = qname.find(':');
    if (colon == std::string_view::npos) {
        prefix = {};
        local = qname;
    } else {
        prefix = qname.substr(0, colon);
        local = qname.substr(colon + 1);
    }
}

// The attributes of a start tag between its name and its ">" (or "/>").
bool ScanAttributes(std::string_view tag, std::vector<RawAttribute>& out, size_t max) {
    size_t i = 0;
    while (true) {
        while (i < tag.size() && IsXmlSpace(tag[i])) {
            ++i;
        }
        if (i == tag.size()) {
            return true;
        }
        const size_t nameStart = i;
        while (i < tag.size() && !IsXmlSpace(tag[i]) && tag[i] != '=') {
            ++i;
        }
        const std::string_view name = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && IsXmlSpace(tag[i])) {
            ++i;
        }
        if (!ValidQName(name) || i == tag.size() || tag[i] != '=') {
            return false;
        }
        ++i;
        while (i < tag.size() && IsXmlSpace(tag[i])) {
            ++i;
        }
        if (i == tag.size() || (tag[i] != '"' && tag[i] != '\'')) {
            return false;
        }
        const char quote = tag[i++];
        const size_t close = tag.find(quote, i);
        if (close == std::string_view::npos) {
            return false;
        }
        const std::string_view raw = tag.substr(i, close - i);
        if (raw.find('<') != std::string_view::npos || out.size() >= max) {
            return false;
        }
        for (const RawAttribute& a : out) {
            if (a.name == name) {
                return false;  // an attribute given twice
            }
        }
        out.push_back({name, DecodeEntities(raw)});
        i = close + 1;
        if (i < tag.size() && !IsXmlSpace(tag[i])) {
            return false;  // attributes are separated by white space
        }
    }
}

}  // namespace

std::string_view TrimXmlSpace(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsXmlSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsXmlSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> SplitXmlList(std::string_view text) {
    std::vector<std::string_view> items;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsXmlSpace(text[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < text.size() && !IsXmlSpace(text[i])) {
            ++i;
        }
        if (i > start) {
            items.push_back(text.substr(start, i - start));
        }
    }
    return items;
}

bool XmlNsDocument::Fail(const std::string& why) {
    m_elements.clear();
    m_error = why;
    return false;
}

bool XmlNsDocument::LookUp(size_t at, std::string_view prefix, std::string& uri) const {
    if (prefix == "xml") {
        uri = kXmlPrefixUri;
        return true;
    }
    for (size_t i = at;; i = m_elements[i].parent) {
        for (const auto& [p, u] : m_elements[i].declarations) {
            if (p == prefix) {
                uri = u;
                // An undeclared default ("xmlns=''") binds no namespace;
                // an empty prefixed binding is not allowed.
                return !u.empty() || prefix.empty();
            }
        }
        if (m_elements[i].parent == i) {
            break;
        }
    }
    uri.clear();
    return prefix.empty();  // no default namespace in scope: none
}

bool XmlNsDocument::Parse(std::string_view text, const XmlLimits& limits) {
    m_elements.clear();
    m_error.clear();
    if (text.size() > limits.maxBytes) {
        return Fail("the text is longer than " + std::to_string(limits.maxBytes) + " bytes");
    }
    std::vector<size_t> open;  // indexes of the elements not yet ended
    std::vector<std::string_view> openNames;
    bool rootDone = false;
    size_t offset = 0;
    while (true) {
        const MarkupNode node = ScanNode(text, offset, text.size());
        if (node.type == NodeType::End) {
            break;
        }
        offset = node.end;
        const std::string_view whole = text.substr(node.start, node.end - node.start);
        switch (node.type) {
            case NodeType::End:
            case NodeType::Instruction:
            case NodeType::Comment:
                break;
            case NodeType::Whitespace:
            case NodeType::Text:
                if (open.empty()) {
                    if (!TrimXmlSpace(whole).empty()) {
                        return Fail("text outside the root element");
                    }
                } else {
                    m_elements[open.back()].text += DecodeEntities(whole);
                }
                break;
            case NodeType::CData:
                if (open.empty() || whole.substr(0, kCDataOpen.size()) != kCDataOpen) {
                    return Fail("a CDATA section outside the root element");
                }
                m_elements[open.back()].text +=
                    whole.substr(kCDataOpen.size(), whole.size() - kCDataOpen.size() - 3);
                break;
            case NodeType::Doctype:
                return Fail("a document type declaration");
            case NodeType::Error:
                return Fail(node.error);
            case NodeType::EndTag: {
                const std::string_view name =
                    text.substr(node.nameStart, node.nameEnd - node.nameStart);
                const std::string_view rest =
                    TrimXmlSpace(text.substr(node.nameEnd, node.end - 1 - node.nameEnd));
                if (open.empty() || name != openNames.back() || !rest.empty()) {
                    return Fail("an end tag that closes no open element");
                }
                open.pop_back();
                openNames.pop_back();
                rootDone = open.empty();
                break;
            }
            case NodeType::StartTag: {
                if (rootDone) {
                    return Fail("a second root element");
                }
                if (m_elements.size() >= limits.maxElements || open.size() >= limits.maxDepth) {
                    return Fail("too many elements or too deep");
                }
                const std::string_view qname =
                    text.substr(node.nameStart, node.nameEnd - node.nameStart);
                const size_t tagEnd = node.end - (node.emptyElement ? 2 : 1);
                if (!ValidQName(qname) || tagEnd < node.nameEnd) {
                    return Fail("a start tag without a valid name");
                }
                std::vector<RawAttribute> raw;
                if (!ScanAttributes(text.substr(node.nameEnd, tagEnd - node.nameEnd), raw,
                                    limits.maxAttributes)) {
                    return Fail("a start tag with malformed attributes");
                }
                const size_t index = m_elements.size();
                XmlElement element;
                element.parent = open.empty() ? index : open.back();
                for (const RawAttribute& a : raw) {
                    if (a.name == "xmlns") {
                        element.declarations.emplace_back("", a.value);
                    } else if (a.name.substr(0, 6) == "xmlns:") {
                        element.declarations.emplace_back(std::string(a.name.substr(6)), a.value);
                    }
                }
                m_elements.push_back(std::move(element));
                std::string_view prefix;
                std::string_view local;
                SplitQName(qname, prefix, local);
                XmlElement& added = m_elements.back();
                added.local = std::string(local);
                if (!LookUp(index, prefix, added.ns)) {
                    return Fail("an undeclared prefix: " + std::string(prefix));
                }
                for (const RawAttribute& a : raw) {
                    if (a.name == "xmlns" || a.name.substr(0, 6) == "xmlns:") {
                        continue;
                    }
                    SplitQName(a.name, prefix, local);
                    XmlAttribute attribute{std::string(), std::string(local), a.value};
                    if (!prefix.empty() && !LookUp(index, prefix, attribute.ns)) {
                        return Fail("an undeclared attribute prefix: " + std::string(prefix));
                    }
                    m_elements[index].attributes.push_back(std::move(attribute));
                }
                if (!open.empty()) {
                    m_elements[open.back()].children.push_back(index);
                }
                if (node.emptyElement) {
                    rootDone = open.empty();
                } else {
                    open.push_back(index);
                    openNames.push_back(qname);
                }
                break;
            }
        }
    }
    if (!open.empty() || m_elements.empty()) {
        return Fail("the root element is missing or not ended");
    }
    return true;
}

const XmlElement* XmlNsDocument::Child(const XmlElement& parent, std::string_view ns,
                                       std::string_view local) const {
    for (size_t i : parent.children) {
        const XmlElement& c = m_elements[i];
        if (c.local == local && c.ns == ns) {
            return &c;
        }
    }
    return nullptr;
}

std::vector<const XmlElement*> XmlNsDocument::Children(const XmlElement& parent,
                                                       std::string_view ns,
                                                       std::string_view local) const {
    std::vector<const XmlElement*> found;
    for (size_t i : parent.children) {
        const XmlElement& c = m_elements[i];
        if (c.local == local && c.ns == ns) {
            found.push_back(&c);
        }
    }
    return found;
}

const XmlElement* XmlNsDocument::Path(const XmlElement& from, std::string_view ns,
                                      std::initializer_list<std::string_view> locals) const {
    const XmlElement* at = &from;
    for (std::string_view local : locals) {
        at = Child(*at, ns, local);
        if (at == nullptr) {
            return nullptr;
        }
    }
    return at;
}

const std::string* XmlNsDocument::Attribute(const XmlElement& element, std::string_view ns,
                                            std::string_view local) {
    for (const XmlAttribute& a : element.attributes) {
        if (a.local == local && a.ns == ns) {
            return &a.value;
        }
    }
    return nullptr;
}

bool XmlNsDocument::ResolveQName(const XmlElement& where, std::string_view qname, std::string& ns,
                                 std::string& local) const {
    if (!ValidQName(qname) || m_elements.empty()) {
        return false;
    }
    std::string_view prefix;
    std::string_view name;
    SplitQName(qname, prefix, name);
    const size_t index = static_cast<size_t>(&where - m_elements.data());
    if (index >= m_elements.size() || !LookUp(index, prefix, ns)) {
        return false;
    }
    local = std::string(name);
    return true;
}

}  // namespace markup
