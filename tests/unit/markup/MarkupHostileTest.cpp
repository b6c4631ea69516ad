// Hostile documents, as a device on the network may send them in a search
// answer or a device-information reply: deep nesting, huge texts and
// attributes, very many siblings, unterminated tags, entity definitions,
// zero bytes and text that is not UTF-8. Each gives a document whose walk
// ends and whose texts are bounded by the input; entity definitions are
// never expanded.
//
// The sibling and stray-end-tag rows are sized so that work growing with
// the square of the input (a sibling chain walked per element, open
// elements searched per stray end tag) would run past the test's time limit
// even in an optimised build, while a single pass takes seconds at most
// under the sanitizers.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/markup/CMarkupSTL.h"

namespace {

std::string Repeat(const std::string& piece, size_t count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

// Every element once, depth first, with the cursor alone; the texts read on
// the way never exceed the document.
struct Walk {
    size_t elements = 0;
    size_t deepest = 0;
    size_t longestText = 0;
};

Walk WalkDocument(CMarkupSTL& doc) {
    Walk walk;
    size_t depth = 0;
    for (;;) {
        if (doc.FindElement()) {
            ++walk.elements;
            walk.longestText = std::max(walk.longestText, doc.GetElementText().size());
            if (!doc.EnterElement()) {
                ADD_FAILURE() << "cannot enter a found element";
                return walk;
            }
            walk.deepest = std::max(walk.deepest, ++depth);
            continue;
        }
        if (depth == 0) {
            break;
        }
        EXPECT_TRUE(doc.LeaveElement());
        --depth;
    }
    EXPECT_FALSE(doc.LeaveElement());
    return walk;
}

// The text of config/deviceInfo/structVersion, the path the AI query reads.
std::string StructVersion(CMarkupSTL& doc) {
    if (!doc.FindElement("config") || !doc.EnterElement() || !doc.FindElement("deviceInfo") ||
        !doc.EnterElement() || !doc.FindElement("structVersion")) {
        return "<none>";
    }
    return doc.GetElementText();
}

const std::string kLaughs =
    "<!DOCTYPE config [<!ENTITY lol \"lol\">"
    "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
    "<!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">"
    "<!ENTITY lol9 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>";

TEST(MarkupHostile, DocumentsEndAndStayBounded) {
    const size_t kMany = 1u << 20;  // a million elements: 4 MB of "<a/>"
    struct Row {
        const char* what;
        std::string doc;
        size_t elements;
        size_t deepest;
        bool wellFormed;
        std::string structVersion;  // "<none>" when the path is not there
    };
    const std::vector<Row> rows = {
        {"a million siblings", "<config>" + Repeat("<a/>", kMany) + "<deviceInfo><structVersion>7</structVersion>"
                                   "</deviceInfo></config>",
         kMany + 3, 3, true, "7"},
        {"nested fifty thousand deep", "<config>" + Repeat("<a>", 50000) + Repeat("</a>", 50000) + "</config>",
         50001, 50001, true, "<none>"},
        // Never ended: the children move up beside their parent.
        {"fifty thousand never ended", "<config>" + Repeat("<a>", 50000), 50001, 1, false, "<none>"},
        {"open elements and as many stray end tags",
         "<config>" + Repeat("<a>", 300000) + Repeat("</b>", 300000) + "</config>", 300001, 2, false, "<none>"},
        {"end tags that each close a run", "<config>" + Repeat("<a><b><c>", 50000) + Repeat("</a>", 50000) +
                                               "</config>",
         150001, 50002, false, "<none>"},
        {"a huge element text",
         "<config><deviceInfo><structVersion>" + std::string(2u << 20, 'v') +
             "</structVersion></deviceInfo></config>",
         3, 3, true, std::string(2u << 20, 'v')},
        {"a huge attribute",
         "<config><deviceInfo><structVersion a=\"" + std::string(2u << 20, 'x') +
             "\">1</structVersion></deviceInfo></config>",
         3, 3, true, "1"},
        {"an attribute never closed",
         "<config><deviceInfo><structVersion a=\"" + std::string(1u << 20, 'x'), 2, 1, false, "<none>"},
        {"a tag never closed", "<config><deviceInfo><structVersion", 2, 1, false, "<none>"},
        {"a comment never closed", "<config><deviceInfo><!--" + std::string(1u << 20, '-'), 2, 1, false,
         "<none>"},
        {"defined entities are not expanded",
         kLaughs + "<config><deviceInfo><structVersion>&lol9;&lol9;</structVersion></deviceInfo></config>", 3,
         3, true, "&lol9;&lol9;"},
        {"a zero byte in a text",
         "<config><deviceInfo><structVersion>1.2" + std::string(1, '\0') + "x</structVersion></deviceInfo></config>",
         3, 3, true, std::string("1.2\0x", 5)},
        {"bytes that are not UTF-8",
         "<config><deviceInfo><structVersion>\xff\xfe\xc3</structVersion></deviceInfo></config>", 3, 3, true,
         "\xff\xfe\xc3"},
        {"a character reference beyond Unicode",
         "<config><deviceInfo><structVersion>&#x110000;&#99999999999;</structVersion></deviceInfo></config>", 3,
         3, true, "&#x110000;&#99999999999;"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CMarkupSTL doc(row.doc);
        EXPECT_EQ(doc.IsWellFormed(), row.wellFormed) << doc.GetError();
        EXPECT_LE(doc.GetError().size(), 1000u);
        const Walk walk = WalkDocument(doc);
        EXPECT_EQ(walk.elements, row.elements);
        EXPECT_EQ(walk.deepest, row.deepest);
        EXPECT_LE(walk.longestText, row.doc.size());
        doc.ResetMainPosition();
        while (doc.LeaveElement()) {
        }
        doc.ResetMainPosition();
        EXPECT_EQ(StructVersion(doc), row.structVersion);
    }
}

}  // namespace
