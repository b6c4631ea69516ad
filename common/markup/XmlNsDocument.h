#pragma once
// A strict, namespace-aware XML reader for SOAP messages: elements and
// attributes are known by (namespace URI, local name), whatever prefix the
// sender chose, and QName texts (a WS-Discovery "Types" list) resolve
// against the prefixes in scope where they stand. Anything that is not
// well-formed, a prefix that is not declared, a DOCTYPE (so no entity can
// expand) or a text beyond the limits gives no document at all.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace markup {

struct XmlAttribute {
    std::string ns;  // namespace URI; empty for an unprefixed attribute
    std::string local;
    std::string value;  // entities decoded
};

struct XmlElement {
    std::string ns;  // namespace URI; empty when none is in scope
    std::string local;
    std::string text;  // character data directly inside, entities decoded, CDATA included
    std::vector<XmlAttribute> attributes;
    std::vector<size_t> children;  // indexes into the document's elements, in order
    size_t parent = 0;             // the root is its own parent
    // Namespace declarations on this element: (prefix, URI); prefix "" is the default.
    std::vector<std::pair<std::string, std::string>> declarations;
};

struct XmlLimits {
    size_t maxBytes = 256 * 1024;
    size_t maxElements = 8192;
    size_t maxDepth = 64;
    size_t maxAttributes = 64;  // per element, declarations included
};

class XmlNsDocument {
public:
    // False (and an empty document, with the reason in Error()) unless the
    // text is one well-formed element with its namespaces declared.
    bool Parse(std::string_view text, const XmlLimits& limits = {});

    const std::string& Error() const { return m_error; }
    // Null when the parse failed.
    const XmlElement* Root() const { return m_elements.empty() ? nullptr : &m_elements[0]; }

    // The first child of `parent` with that namespace and local name; null if none.
    const XmlElement* Child(const XmlElement& parent, std::string_view ns,
                            std::string_view local) const;
    // The first child element of `parent`, whatever its name; null if none.
    const XmlElement* FirstChild(const XmlElement& parent) const {
        return parent.children.empty() ? nullptr : &m_elements[parent.children.front()];
    }
    // Every such child, in order.
    std::vector<const XmlElement*> Children(const XmlElement& parent, std::string_view ns,
                                            std::string_view local) const;
    // Follows a path of children in one namespace; null where a step is missing.
    const XmlElement* Path(const XmlElement& from, std::string_view ns,
                           std::initializer_list<std::string_view> locals) const;
    const XmlElement& Parent(const XmlElement& element) const { return m_elements[element.parent]; }

    // The value of an attribute; null when absent.
    static const std::string* Attribute(const XmlElement& element, std::string_view ns,
                                        std::string_view local);

    // Resolves "prefix:local" (or "local", in the default namespace) with the
    // declarations in scope at `where`. False when the prefix is not declared
    // or the text is not a QName.
    bool ResolveQName(const XmlElement& where, std::string_view qname, std::string& ns,
                      std::string& local) const;

private:
    bool Fail(const std::string& why);
    // The URI bound to prefix at element index `at`; false when unbound.
    bool LookUp(size_t at, std::string_view prefix, std::string& uri) const;

    std::vector<XmlElement> m_elements;
    std::string m_error;
};

// Splits a text at runs of XML white space (the lists of Types, Scopes and XAddrs).
std::vector<std::string_view> SplitXmlList(std::string_view text);

// The text without leading and trailing XML white space.
std::string_view TrimXmlSpace(std::string_view text);

}  // namespace markup
