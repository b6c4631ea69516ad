#pragma once
// The read-only XML document that reads the texts devices send (search
// answers, device-information replies). It parses leniently: every text
// gives a document, and what is wrong only marks it ill-formed and fills
// the error text. A cursor of three positions (parent, main, child) walks
// the element tree; element names are compared in place in the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CMarkupSTL {
public:
    // Kept for layout compatibility with the device library: every document
    // carries one; it has no operations.
    class CBase64Coder {
    public:
        virtual ~CBase64Coder() = default;
    };

    CMarkupSTL();  // an empty document
    CMarkupSTL(const char* text, size_t length);
    explicit CMarkupSTL(std::string_view text);

    // Parse result: a root element without siblings and nothing ill-formed.
    bool IsWellFormed() const { return m_wellFormed; }
    // The last parse error message; empty when there was none.
    const std::string& GetError() const { return m_error; }

    bool FindElement(const char* name = nullptr);
    bool EnterElement();
    bool LeaveElement();
    void ResetMainPosition();
    bool FindChildElement(const char* name = nullptr);
    void ResetChildPosition();

    std::string GetElementText() const;
    std::string GetChildElementText() const;

    const std::string& GetDoc() const { return m_doc; }

private:
    enum Flags : uint8_t {
        kEmptyElement = 1,
        kNotEnded = 2,
    };

    struct ElemPos {
        size_t start = 0;   // offset of the "<"
        size_t length = 0;  // start tag through end tag
        size_t startTagLen = 0;
        size_t endTagLen = 0;  // 0: empty element or never ended
        uint8_t flags = 0;
        int parent = 0;
        int firstChild = 0;
        int lastChild = 0;  // so that appending a child does not walk its siblings
        int next = 0;
        int prev = 0;
        // The element's name in the text, found once when it is added.
        size_t nameOffset = 0;
        size_t nameLength = 0;
    };

    bool Parse();
    int AddChild(int parent, size_t start, size_t startTagLen, bool empty);
    void CloseNotEnded(std::vector<int>& open, size_t from);
    void RecordError(const std::string& message);
    std::string_view ElementName(int elem) const;
    // The name of the start tag at `start` (its "<"): after white space, up
    // to a character that ends a name.
    std::string_view ScanName(size_t start) const;
    bool NameMatches(int elem, const char* name) const;
    bool NameMatches(int elem, std::string_view name) const;
    int FindSibling(int first, const char* name) const;
    std::string ElementText(int elem) const;

    std::string m_doc;
    std::string m_error;
    bool m_wellFormed = false;
    bool m_errorRecorded = false;
    std::vector<ElemPos> m_elems;
    int m_parent = 0;
    int m_main = 0;
    int m_child = 0;
    CBase64Coder m_base64;
};
