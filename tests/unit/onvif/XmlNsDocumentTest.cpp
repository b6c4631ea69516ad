// The namespace-aware reader: names by URI whatever the prefix, QNames in
// text, and refusal of anything not well-formed.
#include <gtest/gtest.h>

#include <string>

#include "common/markup/XmlNsDocument.h"

namespace {

using markup::XmlNsDocument;

TEST(XmlNsDocument, ElementsAreFoundByNamespaceWhateverThePrefix) {
    const char* spellings[] = {
        "<s:E xmlns:s='urn:e' xmlns:d='urn:d'><s:B><d:T>x</d:T></s:B></s:E>",
        "<SOAP-ENV:E xmlns:SOAP-ENV='urn:e'><SOAP-ENV:B><wsdd:T "
        "xmlns:wsdd='urn:d'>x</wsdd:T></SOAP-ENV:B></SOAP-ENV:E>",
        "<E xmlns='urn:e'><B><T xmlns='urn:d'>x</T></B></E>",
        "<?xml version='1.0'?><!-- c --><a:E xmlns:a='urn:e'><a:B><b:T "
        "xmlns:b='urn:d'><![CDATA[x]]></b:T></a:B></a:E>",
    };
    for (const char* text : spellings) {
        XmlNsDocument doc;
        ASSERT_TRUE(doc.Parse(text)) << text << ": " << doc.Error();
        const auto* t = doc.Path(*doc.Root(), "urn:e", {"B"});
        ASSERT_NE(t, nullptr) << text;
        t = doc.Child(*t, "urn:d", "T");
        ASSERT_NE(t, nullptr) << text;
        EXPECT_EQ(t->text, "x") << text;
        EXPECT_EQ(doc.Child(*doc.Root(), "urn:d", "B"), nullptr)
            << "same local name, other namespace";
    }
}

TEST(XmlNsDocument, QNamesInTextResolveWhereTheyStand) {
    XmlNsDocument doc;
    ASSERT_TRUE(doc.Parse("<r xmlns:p='urn:outer'><t xmlns:q='urn:inner'>p:A q:B C</t></r>"));
    const auto& t = *doc.FirstChild(*doc.Root());
    std::string ns;
    std::string local;
    ASSERT_TRUE(doc.ResolveQName(t, "p:A", ns, local));
    EXPECT_EQ(ns + "#" + local, "urn:outer#A");
    ASSERT_TRUE(doc.ResolveQName(t, "q:B", ns, local));
    EXPECT_EQ(ns + "#" + local, "urn:inner#B");
    ASSERT_TRUE(doc.ResolveQName(t, "C", ns, local));
    EXPECT_EQ(ns, "");
    EXPECT_FALSE(doc.ResolveQName(t, "z:D", ns, local)) << "an undeclared prefix";
    EXPECT_FALSE(doc.ResolveQName(*doc.Root(), "q:B", ns, local)) << "out of its scope";
}

TEST(XmlNsDocument, WhatIsNotWellFormedGivesNoDocument) {
    const char* bad[] = {
        "",
        "<a>",
        "<a></b>",
        "<a/><b/>",
        "text<a/>",
        "<p:a/>",
        "<a p:x='1'/>",
        "<a x='1' x='2'/>",
        "<a x=1/>",
        "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>",
        "<a><b></a></b>",
        "<a x='<'/>",
    };
    for (const char* text : bad) {
        XmlNsDocument doc;
        EXPECT_FALSE(doc.Parse(text)) << text;
        EXPECT_EQ(doc.Root(), nullptr) << text;
    }
}

TEST(XmlNsDocument, LimitsAreKept) {
    std::string deep;
    for (int i = 0; i < 70; ++i) {
        deep += "<a>";
    }
    for (int i = 0; i < 70; ++i) {
        deep += "</a>";
    }
    XmlNsDocument doc;
    EXPECT_FALSE(doc.Parse(deep));
    markup::XmlLimits small;
    small.maxBytes = 8;
    EXPECT_FALSE(doc.Parse("<abc>def</abc>", small));
    EXPECT_TRUE(doc.Parse("<a>&lt;&#65;&amp;</a>"));
    EXPECT_EQ(doc.Root()->text, "<A&");
}

}  // namespace
