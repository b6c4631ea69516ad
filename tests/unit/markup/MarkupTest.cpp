#include "common/markup/CMarkupSTL.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CMarkupSTL Doc(const std::string& text) {
    return CMarkupSTL(text.data(), text.size());
}

// ---- navigation -------------------------------------------------------

TEST(MarkupNavigation, SiblingsOfOneNameAreFoundInOrderAndAFailedFindKeepsTheCursor) {
    CMarkupSTL doc = Doc("<r><item>1</item><other/><item>2</item></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("item"));
    EXPECT_EQ(doc.GetElementText(), "1");
    ASSERT_TRUE(doc.FindElement("item"));
    EXPECT_EQ(doc.GetElementText(), "2");
    EXPECT_FALSE(doc.FindElement("item"));
    EXPECT_EQ(doc.GetElementText(), "2");    // main stays on the second
    EXPECT_FALSE(doc.FindElement("other"));  // never goes back
    doc.ResetMainPosition();
    EXPECT_TRUE(doc.FindElement("other"));
}

TEST(MarkupNavigation, AFailedFindOfAnotherNameStartsAfterTheLastFound) {
    CMarkupSTL doc = Doc("<r><a/><b>x</b><c>y</c></r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("b"));
    EXPECT_FALSE(doc.FindElement("a"));
    ASSERT_TRUE(doc.FindElement("c"));
    EXPECT_EQ(doc.GetElementText(), "y");
    doc.ResetMainPosition();
    EXPECT_TRUE(doc.FindElement("a"));
}

TEST(MarkupNavigation, EnterAndLeaveMoveTheThreePositions) {
    CMarkupSTL doc = Doc("<r><p><q>in</q></p><s>after</s></r>");
    EXPECT_FALSE(doc.EnterElement());  // no main position yet
    EXPECT_FALSE(doc.LeaveElement());  // already at the document level
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("p"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("q"));
    EXPECT_EQ(doc.GetElementText(), "in");
    ASSERT_TRUE(doc.LeaveElement());  // main is p again, child is q
    EXPECT_EQ(doc.GetChildElementText(), "in");
    EXPECT_EQ(doc.GetElementText(), "");  // p has a child element
    ASSERT_TRUE(doc.FindElement("s"));
    EXPECT_EQ(doc.GetElementText(), "after");
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.LeaveElement() == false);  // r is at the top: parent is the document
}

TEST(MarkupNavigation, ChildFindsStartFromTheFirstMainWhenNoneIsSet) {
    CMarkupSTL doc = Doc("<r><ip>1.2.3.4</ip><mask>255.0.0.0</mask><ip>5.6.7.8</ip></r>");
    ASSERT_TRUE(doc.FindChildElement("ip"));  // finds r first
    EXPECT_EQ(doc.GetChildElementText(), "1.2.3.4");
    ASSERT_TRUE(doc.FindChildElement("ip"));
    EXPECT_EQ(doc.GetChildElementText(), "5.6.7.8");
    EXPECT_FALSE(doc.FindChildElement("mask"));  // after the current child
    doc.ResetChildPosition();
    EXPECT_EQ(doc.GetChildElementText(), "");
    ASSERT_TRUE(doc.FindChildElement("mask"));
    EXPECT_EQ(doc.GetChildElementText(), "255.0.0.0");
}

TEST(MarkupNavigation, NamesMatchExactlyAndCaseSensitively) {
    CMarkupSTL doc = Doc("<r><ipAddr>a</ipAddr><ip>b</ip><IP>c</IP></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("ip"));
    EXPECT_EQ(doc.GetElementText(), "b");  // "ip" is not "ipAddr"
    doc.ResetMainPosition();
    ASSERT_TRUE(doc.FindElement("ipAddr"));
    EXPECT_EQ(doc.GetElementText(), "a");
    EXPECT_FALSE(doc.FindElement("ipAddr"));  // "ipAddr" is not "ip" nor "IP"
    doc.ResetMainPosition();
    EXPECT_FALSE(doc.FindElement("i"));
    EXPECT_FALSE(doc.FindElement("Ip"));
}

TEST(MarkupNavigation, ASearchedNameMayCarryAPathOrPredicateTail) {
    // The element's name must be followed, in the searched text, by its end
    // or one of " =/[]".
    CMarkupSTL doc = Doc("<r><a>1</a><ab>2</ab></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("a[1]"));
    EXPECT_EQ(doc.GetElementText(), "1");
    doc.ResetMainPosition();
    ASSERT_TRUE(doc.FindElement("ab/x"));
    EXPECT_EQ(doc.GetElementText(), "2");
}

TEST(MarkupNavigation, WhiteSpaceAfterTheAngleBracketIsSkippedInNames) {
    // "< a>" is not a start tag (space after "<"), so only <b> counts.
    CMarkupSTL doc = Doc("<r><b\n attr='1'>x</b></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("b"));
    EXPECT_EQ(doc.GetElementText(), "x");
}

TEST(MarkupNavigation, AnEmptyDocumentFindsNothing) {
    CMarkupSTL doc;
    EXPECT_FALSE(doc.FindElement());
    EXPECT_FALSE(doc.FindChildElement());
    EXPECT_FALSE(doc.EnterElement());
    EXPECT_EQ(doc.GetElementText(), "");
    EXPECT_EQ(doc.GetChildElementText(), "");
    CMarkupSTL nullText(nullptr, 10);
    EXPECT_EQ(nullText.GetError(), "Empty document");
}

// ---- recovery and error texts -----------------------------------------

TEST(MarkupRecovery, WellFormedDocumentHasNoError) {
    CMarkupSTL doc = Doc("<?xml version=\"1.0\"?>\r\n<!-- c --><r a=\"x>y\"><b/></r>\r\n");
    EXPECT_TRUE(doc.IsWellFormed());
    EXPECT_EQ(doc.GetError(), "");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_TRUE(doc.FindElement("b"));  // the ">" inside the quoted value did not end the tag
}

TEST(MarkupRecovery, InnerElementLeftOpenIsClosedAsNeverEnded) {
    const std::string text = "<r><p><a>text<b>x</b></p><c>y</c></r>";
    CMarkupSTL doc = Doc(text);
    EXPECT_FALSE(doc.IsWellFormed());
    // The end tag's "/" is at 22, the inner start tag's "<" at 6.
    EXPECT_EQ(doc.GetError(), "End tag 'p' at offset 22 does not match start tag 'a' at offset 6");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("p"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("a"));  // still findable under p
    EXPECT_EQ(doc.GetElementText(), "");
    ASSERT_TRUE(doc.FindElement("b"));  // a's child moved up after it
    EXPECT_EQ(doc.GetElementText(), "x");
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.FindElement("c"));  // p was closed properly
    EXPECT_EQ(doc.GetElementText(), "y");
}

TEST(MarkupRecovery, StrayEndTagIsIgnored) {
    const std::string text = "<r><a>1</x>2</a></r>";
    CMarkupSTL doc = Doc(text);
    EXPECT_FALSE(doc.IsWellFormed());
    EXPECT_EQ(doc.GetError(), "No start tag for end tag 'x' at offset 7");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("a"));
    EXPECT_EQ(doc.GetElementText(), "12");  // the end tag contributes nothing
}

TEST(MarkupRecovery, ElementsOpenAtTheEndAreNotEndedAndTheirChildrenMoveUp) {
    CMarkupSTL doc = Doc("<r><a><b>t</b>");
    EXPECT_FALSE(doc.IsWellFormed());
    // The innermost open element is closed first.
    EXPECT_EQ(doc.GetError(), "Root element has sibling");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "");
    EXPECT_TRUE(doc.FindElement("a"));  // moved up to the document level
    EXPECT_TRUE(doc.FindElement("b"));
    EXPECT_EQ(doc.GetElementText(), "t");

    CMarkupSTL single = Doc("<r>text");
    EXPECT_FALSE(single.IsWellFormed());
    EXPECT_EQ(single.GetError(), "Element 'r' at offset 0 not ended");
    ASSERT_TRUE(single.FindElement("r"));
    EXPECT_EQ(single.GetElementText(), "");
}

TEST(MarkupRecovery, TwoRootsAndEmptyDocuments) {
    CMarkupSTL two = Doc("<a>1</a><b>2</b>");
    EXPECT_FALSE(two.IsWellFormed());
    EXPECT_EQ(two.GetError(), "Root element has sibling");
    ASSERT_TRUE(two.FindElement());
    EXPECT_EQ(two.GetElementText(), "1");
    ASSERT_TRUE(two.FindElement());
    EXPECT_EQ(two.GetElementText(), "2");

    EXPECT_EQ(Doc("").GetError(), "Empty document");
    EXPECT_EQ(Doc(" \r\n ").GetError(), "No root element");
    EXPECT_EQ(Doc("just text").GetError(), "No root element");
    EXPECT_EQ(Doc("<?xml version=\"1.0\"?><!-- only -->").GetError(), "No root element");
    EXPECT_FALSE(Doc("").IsWellFormed());
}

TEST(MarkupRecovery, RootProblemsReplaceAnEarlierMessage) {
    CMarkupSTL doc = Doc("<a></x></a><b/>");
    EXPECT_EQ(doc.GetError(), "Root element has sibling");
}

TEST(MarkupRecovery, OnlyTheFirstParseProblemIsKept) {
    CMarkupSTL doc = Doc("<r></x></y><a></r>");
    EXPECT_EQ(doc.GetError(), "No start tag for end tag 'x' at offset 3");
}

TEST(MarkupRecovery, UnterminatedNodesNameTheirKindAndOffset) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"<r><a href='x", "Element tag at offset 3 unterminated"},
        {"<r></r", "Element end tag at offset 3 unterminated"},
        {"<r><![CDATA[abc", "CDATA Section at offset 3 unterminated"},
        {"<r><?pi abc", "Processing instruction at offset 3 unterminated"},
        {"<r><!-- abc", "Comment at offset 3 unterminated"},
        {"<r><!DOCTYPE r [ <!ENTITY e 'x'> ", "Doctype at offset 3 unterminated"},
        {"<r><!ELEMENT r 'a", "Doctype at offset 3 unterminated"},
        {"<r><", "tag at offset 3 unterminated"},
        {"<r><=x", "tag at offset 3 unterminated"},
    };
    for (const Case& c : cases) {
        CMarkupSTL doc = Doc(c.text);
        EXPECT_EQ(doc.GetError(), c.error) << c.text;
        EXPECT_FALSE(doc.IsWellFormed()) << c.text;
        EXPECT_TRUE(doc.FindElement("r")) << c.text;
    }
}

TEST(MarkupRecovery, IncorrectNodesAreReportedAndSkipped) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"<r><1x>a</r>", "Incorrect tag name character at offset 3"},
        {"<r><!x>a</r>", "Incorrect ! tag at offset 3"},
        {"<r><!-x>a</r>", "Incorrect comment tag at offset 3"},
        {"<r><![x>a</r>", "Incorrect tag at offset 3"},
        {"<r>< b>a</r>", "Incorrect tag name character at offset 3"},
    };
    for (const Case& c : cases) {
        CMarkupSTL doc = Doc(c.text);
        EXPECT_EQ(doc.GetError(), c.error) << c.text;
        EXPECT_FALSE(doc.IsWellFormed()) << c.text;
        ASSERT_TRUE(doc.FindElement("r")) << c.text;
        EXPECT_TRUE(doc.EnterElement());
        EXPECT_FALSE(doc.FindElement()) << c.text;  // no element came of it
    }
    // An erroneous node that meets a "<" ends just before it.
    CMarkupSTL doc = Doc("<r><1<a>x</a></r>");
    ASSERT_TRUE(doc.FindChildElement("a"));
    EXPECT_EQ(doc.GetChildElementText(), "x");
}

TEST(MarkupRecovery, DoctypeWithNestedDeclarationsIsPassedOver) {
    CMarkupSTL doc =
        Doc("<!DOCTYPE r [ <!ELEMENT r (#PCDATA)> <!ATTLIST r a CDATA 'x>y'> ]><r>v</r>");
    EXPECT_TRUE(doc.IsWellFormed()) << doc.GetError();
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "v");
}

TEST(MarkupRecovery, EmptyElementTagNeedsTheSlashRightAfterNameSpaceOrQuote) {
    CMarkupSTL doc = Doc("<r><a/><b x='1'/><c x=1/>t</c></r>");
    EXPECT_TRUE(doc.IsWellFormed()) << doc.GetError();
    ASSERT_TRUE(doc.FindChildElement("a"));
    ASSERT_TRUE(doc.FindChildElement("b"));
    ASSERT_TRUE(doc.FindChildElement("c"));
    // "x=1/" is not an empty-element ending: c has content.
    EXPECT_EQ(doc.GetChildElementText(), "t");
}

TEST(MarkupRecovery, AWhollyHostileTextStillGivesADocument) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "<a><!-<![<?<";
    CMarkupSTL doc = Doc(text);
    EXPECT_FALSE(doc.IsWellFormed());
    EXPECT_FALSE(doc.GetError().empty());
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<d>";
    CMarkupSTL nested = Doc(deep);  // no recursion: a deep text is fine
    EXPECT_EQ(nested.GetError(), "Root element has sibling");
}

// ---- element text -----------------------------------------------------

TEST(MarkupText, EntitiesAndCharacterReferencesAreDecoded) {
    CMarkupSTL doc = Doc("<r>a&amp;b&lt;c&#65;&#x42;</r>");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "a&b<cAB");

    CMarkupSTL all = Doc("<r>&gt;&apos;&quot;&lt;&amp;</r>");
    ASSERT_TRUE(all.FindElement("r"));
    EXPECT_EQ(all.GetElementText(), ">'\"<&");
}

TEST(MarkupText, CharacterReferencesAreWrittenAsUtf8) {
    struct Case {
        const char* reference;
        std::string bytes;
    };
    const Case cases[] = {
        {"&#x7F;", "\x7F"},
        {"&#xE9;", "\xC3\xA9"},  // é
        {"&#233;", "\xC3\xA9"},
        {"&#x7FF;", "\xDF\xBF"},       // last two-byte value
        {"&#x800;", "\xE0\xA0\x80"},   // first three-byte value
        {"&#x4E2D;", "\xE4\xB8\xAD"},  // 中
        {"&#xFFFF;", "\xEF\xBF\xBF"},
        {"&#x1F600;", "\xF0\x9F\x98\x80"},  // four bytes: beyond the Basic Multilingual Plane
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"&#0065;", "A"},   // leading zeros count as characters, still within seven
        {"&#65abc;", "A"},  // the number the characters begin with
    };
    for (const Case& c : cases) {
        CMarkupSTL doc = Doc(std::string("<r>") + c.reference + "</r>");
        ASSERT_TRUE(doc.FindElement("r"));
        EXPECT_EQ(doc.GetElementText(), c.bytes) << c.reference;
    }
}

TEST(MarkupText, UnknownOrMalformedReferencesStayAsWritten) {
    const char* unchanged[] = {
        "&nbsp;",  // not one of the five names
        "&amp",    // no ";"
        "&#0;",    // value 0
        "&#;",     // no digits
        "&#x;",
        "&#X41;",       // upper-case X is not hexadecimal
        "&#00000065;",  // eight characters before the ";"
        "&#x110000;",   // beyond Unicode
        "&#-5;",       "&LT;",
    };
    for (const char* text : unchanged) {
        CMarkupSTL doc = Doc(std::string("<r>") + text + "</r>");
        ASSERT_TRUE(doc.FindElement("r"));
        EXPECT_EQ(doc.GetElementText(), text);
    }
    // Decoding goes on right after a stray "&".
    CMarkupSTL doc = Doc("<r>&&amp;&#&#65;</r>");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "&&&#A");
}

TEST(MarkupText, CdataCommentsAndInstructionsInsideContent) {
    CMarkupSTL doc = Doc("<r>a&amp;<!-- no --><![CDATA[<b>&amp;</b>]]><?pi x?>z</r>");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "a&<b>&amp;</b>z");
    EXPECT_TRUE(doc.IsWellFormed());
}

TEST(MarkupText, WhiteSpaceIsKeptExceptWhiteSpaceRunsBeforeMarkup) {
    CMarkupSTL plain = Doc("<r><ip> 192.168.1.2 </ip><e/><f></f></r>");
    ASSERT_TRUE(plain.FindChildElement("ip"));
    EXPECT_EQ(plain.GetChildElementText(), " 192.168.1.2 ");
    ASSERT_TRUE(plain.FindChildElement("e"));
    EXPECT_EQ(plain.GetChildElementText(), "");
    ASSERT_TRUE(plain.FindChildElement("f"));
    EXPECT_EQ(plain.GetChildElementText(), "");

    // With markup inside, a run of white space only that precedes a "<"
    // contributes nothing, while text runs keep their spaces.
    CMarkupSTL mixed = Doc("<r> a <!--c-->  <![CDATA[ b ]]>\t</r>");
    ASSERT_TRUE(mixed.FindElement("r"));
    EXPECT_EQ(mixed.GetElementText(), " a  b \t");
}

TEST(MarkupText, AnElementWithChildrenHasNoText) {
    CMarkupSTL doc = Doc("<r>before<a>x</a>after</r>");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "");
}

TEST(MarkupText, AGreaterThanSignInTextIsText) {
    CMarkupSTL doc = Doc("<r>a>b</r>");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), "a>b");
    EXPECT_TRUE(doc.IsWellFormed());
}

TEST(MarkupText, TheDocumentTextIsKeptUnchanged) {
    const std::string text("<r>a\0b</r>", 10);
    CMarkupSTL doc(text.data(), text.size());
    EXPECT_EQ(doc.GetDoc(), text);
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetElementText(), std::string("a\0b", 3));
}

}  // namespace

namespace {

// Walks every element depth-first, reading every text; the walk must end
// and every text must come from inside the document.
size_t WalkAll(CMarkupSTL& doc, int depth) {
    size_t count = 0;
    while (doc.FindElement()) {
        ++count;
        EXPECT_LE(doc.GetElementText().size(), doc.GetDoc().size() * 4);
        while (doc.FindChildElement()) {
            (void)doc.GetChildElementText();
        }
        if (depth < 64 && doc.EnterElement()) {
            count += WalkAll(doc, depth + 1);
            doc.LeaveElement();
        }
    }
    return count;
}

TEST(MarkupRobustness, RandomMarkupNeverBreaksTheParserOrTheCursor) {
    const char* pieces[] = {
        "<a>",  "</a>", "<b x='>'>", "</b>",      "<c/>", "<!--", "-->",   "<![CDATA[", "]]>",
        "<?p",  "?>",   "<!DOCTYPE", "<!ELEMENT", ">",    "<",    "&amp;", "&#x4E2D;",  "&#",
        "text", " ",    "\r\n",      "'",         "\"",   "</",   "/>"};
    uint32_t state = 777;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = static_cast<int>(next() % 40);
        for (int i = 0; i < n; ++i)
            text += pieces[next() % (sizeof pieces / sizeof pieces[0])];
        CMarkupSTL doc = Doc(text);
        if (!text.empty() && doc.IsWellFormed()) {
            EXPECT_TRUE(doc.GetError().empty()) << text;
        }
        WalkAll(doc, 0);
    }
}

}  // namespace
