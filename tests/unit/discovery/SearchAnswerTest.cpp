#include "discovery/SearchAnswer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using discovery::kCfgpushRules;
using discovery::kFwbatchRules;
using discovery::ParseSearchAnswer;
using discovery::SearchReport;
using Type = SearchReport::Type;

std::string Answer(const std::string& series, const std::string& inner = "") {
    std::string product = series.empty() ? "" : "<productSeries>" + series + "</productSeries>";
    return "<multicastSearchResult><productInfo>" + product + "</productInfo>" + inner +
           "</multicastSearchResult>";
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(std::string(CAMPREP_TEST_DATA_DIR) + "/search-answers/" + name,
                     std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- product series and kinds -------------------------------------------

TEST(SearchAnswerSeries, EachProgramKeepsItsOwnSeries) {
    struct Case {
        const char* series;
        bool cfgpush;
        bool fwbatch;
    };
    const Case cases[] = {
        {"KMX_IPC", true, true}, {"NEW_KMX_IPC_V2", true, true}, {"KMX_NVR", true, false},
        {"xKMXy", true, false},  {"ACME", false, false},         {"kmx_ipc", false, false},
        {"KMX_IP", true, false},
    };
    for (const Case& c : cases) {
        const std::string answer = Answer(c.series);
        for (int kind : {1, 3}) {
            EXPECT_EQ(ParseSearchAnswer("AA", kind, answer.c_str(), kCfgpushRules).type,
                      c.cfgpush ? Type::Device : Type::Dropped)
                << c.series;
            EXPECT_EQ(ParseSearchAnswer("AA", kind, answer.c_str(), kFwbatchRules).type,
                      c.fwbatch ? Type::Device : Type::Dropped)
                << c.series;
        }
        // A gone notice passes the same tests.
        EXPECT_EQ(ParseSearchAnswer("AA", 2, answer.c_str(), kCfgpushRules).type,
                  c.cfgpush ? Type::Gone : Type::Dropped);
        EXPECT_EQ(ParseSearchAnswer("AA", 2, answer.c_str(), kFwbatchRules).type,
                  c.fwbatch ? Type::Gone : Type::Dropped);
    }
}

TEST(SearchAnswerSeries, AnEmptySeriesFailsAndAMissingOnePasses) {
    const std::string empty =
        "<multicastSearchResult><productInfo><productSeries></productSeries>"
        "</productInfo></multicastSearchResult>";
    EXPECT_EQ(ParseSearchAnswer("AA", 1, empty.c_str(), kCfgpushRules).type, Type::Dropped);
    const std::string noSeries = Answer("");
    EXPECT_EQ(ParseSearchAnswer("AA", 1, noSeries.c_str(), kFwbatchRules).type, Type::Device);
    const std::string noProduct = "<multicastSearchResult/>";
    EXPECT_EQ(ParseSearchAnswer("AA", 1, noProduct.c_str(), kFwbatchRules).type, Type::Device);
    EXPECT_EQ(ParseSearchAnswer("AA", 2, noProduct.c_str(), kCfgpushRules).type, Type::Gone);
}

TEST(SearchAnswerSeries, OtherKindsAndOtherRootsAreDropped) {
    const std::string answer = Answer("KMX_IPC");
    for (int kind : {0, 4, -1, 1000}) {
        EXPECT_EQ(ParseSearchAnswer("AA", kind, answer.c_str(), kCfgpushRules).type, Type::Dropped);
    }
    EXPECT_EQ(ParseSearchAnswer("AA", 1, "<searchResult/>", kCfgpushRules).type, Type::Dropped);
    EXPECT_EQ(ParseSearchAnswer("AA", 2, "", kCfgpushRules).type, Type::Dropped);
    EXPECT_EQ(ParseSearchAnswer("AA", 1, nullptr, kCfgpushRules).type, Type::Dropped);
    // Only the top level counts.
    EXPECT_EQ(ParseSearchAnswer("AA", 1, "<x><multicastSearchResult/></x>", kCfgpushRules).type,
              Type::Dropped);
}

TEST(SearchAnswerSeries, GoneNoticeCarriesTheMacInATwentyByteBlock) {
    const std::string answer = Answer("KMX_IPC");
    SearchReport r = ParseSearchAnswer("48:EA:63:0A:1B:2C", 2, answer.c_str(), kFwbatchRules);
    ASSERT_EQ(r.type, Type::Gone);
    ASSERT_TRUE(r.goneMac);
    EXPECT_STREQ(r.goneMac.get(), "48:EA:63:0A:1B:2C");
    EXPECT_FALSE(r.device);
    // Cut to 19 characters, the block stays zero-terminated.
    SearchReport longMac =
        ParseSearchAnswer("0123456789abcdefghijKLMNOP", 2, answer.c_str(), kFwbatchRules);
    ASSERT_EQ(longMac.type, Type::Gone);
    EXPECT_STREQ(longMac.goneMac.get(), "0123456789abcdefghi");
}

// ---- fields -------------------------------------------------------------

TEST(SearchAnswerFields, AFullAnswerFillsEveryFieldForFwbatch) {
    const std::string answer = ReadFile("ipc-v4-full.xml");
    ASSERT_FALSE(answer.empty());
    SearchReport r = ParseSearchAnswer("48:ea:63:0a:1b:2c", 1, answer.c_str(), kFwbatchRules);
    ASSERT_EQ(r.type, Type::Device);
    const SEARCH_DEVICE_INFO& d = *r.device;
    EXPECT_STREQ(d.mac, "48:ea:63:0a:1b:2c");
    EXPECT_STREQ(
        d.devName,
        "\xE5\x89\x8D\xE9\x97\xA8\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA & 2");  // UTF-8 unchanged
    EXPECT_STREQ(d.productModel, "IPC-3614SR3-ADPF28");
    EXPECT_STREQ(d.softwareVer, "3.4.2beta");
    EXPECT_STREQ(d.softwareBuildDate, "2024-05-17");
    EXPECT_STREQ(d.kernelVer, "4.9.37");
    EXPECT_EQ(d.build, 231);
    EXPECT_EQ(d.deviceActivated, 1);
    EXPECT_STREQ(d.ip[0], "192.168.1.64");
    EXPECT_STREQ(d.mask[0], "255.255.255.0");
    EXPECT_STREQ(d.ip[1], "10.7.0.64");  // the third item is not read
    EXPECT_STREQ(d.mask[1], "7.0.0.0");
    EXPECT_EQ(d.dataPort, 9008);
    EXPECT_EQ(d.httpPort, 80);
}

TEST(SearchAnswerFields, CfgpushReadsItsSubsetOnly) {
    const std::string answer = ReadFile("ipc-v4-full.xml");
    SearchReport r = ParseSearchAnswer("48:ea:63:0a:1b:2c", 3, answer.c_str(), kCfgpushRules);
    ASSERT_EQ(r.type, Type::Device);
    EXPECT_STREQ(r.device->softwareVer, "3.4.2beta");
    EXPECT_EQ(r.device->build, 231);
    EXPECT_STREQ(r.device->softwareBuildDate, "");
    EXPECT_STREQ(r.device->kernelVer, "");
    EXPECT_EQ(r.device->deviceActivated, 0);
}

TEST(SearchAnswerFields, ChildrenInAnyOrderOneItemAndNumberConversions) {
    const std::string answer = ReadFile("nvr-reordered.xml");
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(ParseSearchAnswer("M", 1, answer.c_str(), kFwbatchRules).type,
              Type::Dropped);  // KMX_NVR
    SearchReport r = ParseSearchAnswer("M", 1, answer.c_str(), kCfgpushRules);
    ASSERT_EQ(r.type, Type::Device);
    const SEARCH_DEVICE_INFO& d = *r.device;
    EXPECT_STREQ(d.ip[0], "169.254.10.2");
    EXPECT_STREQ(d.mask[0], "255.255.0.0");
    EXPECT_STREQ(d.ip[1], "");
    EXPECT_STREQ(d.mask[1], "");
    EXPECT_EQ(d.dataPort, 9010);  // "+9010x": sign, digits up to the first non-digit
    EXPECT_EQ(d.httpPort, 8080);  // leading white space
    EXPECT_EQ(d.build, 17);
    EXPECT_STREQ(d.softwareVer, "2.1.0");
    EXPECT_STREQ(d.productModel, "NVR-0816");
    EXPECT_STREQ(d.devName, "Hall <B>");  // CDATA taken as it stands
}

TEST(SearchAnswerFields, AnswerOfAnotherMakerIsDroppedByBoth) {
    const std::string answer = ReadFile("other-maker.xml");
    EXPECT_EQ(ParseSearchAnswer("M", 1, answer.c_str(), kCfgpushRules).type, Type::Dropped);
    EXPECT_EQ(ParseSearchAnswer("M", 1, answer.c_str(), kFwbatchRules).type, Type::Dropped);
}

TEST(SearchAnswerFields, MissingElementsLeaveZerosAndBuildTellsWhetherProductInfoWasThere) {
    SearchReport withProduct = ParseSearchAnswer("M", 1, Answer("KMX_IPC").c_str(), kFwbatchRules);
    ASSERT_EQ(withProduct.type, Type::Device);
    EXPECT_EQ(withProduct.device->build, -1);
    EXPECT_EQ(withProduct.device->dataPort, 0);
    EXPECT_EQ(withProduct.device->httpPort, 0);
    EXPECT_STREQ(withProduct.device->ip[0], "");

    SearchReport without = ParseSearchAnswer(
        "M", 1,
        "<multicastSearchResult><port><dataPort>abc</dataPort></port></multicastSearchResult>",
        kFwbatchRules);
    ASSERT_EQ(without.type, Type::Device);
    EXPECT_EQ(without.device->build, 0);
    EXPECT_EQ(without.device->dataPort, 0);  // letters give 0
    EXPECT_STREQ(without.device->devName, "");
    EXPECT_STREQ(without.device->softwareVer, "");
}

TEST(SearchAnswerFields, ThreeItemsKeepTheFirstTwoAndItemsWithoutChildrenStayEmpty) {
    const std::string answer =
        Answer("KMX",
               "<tcpIp><ipAddr><item><mask>255.0.0.0</mask></item><item><ip>2.2.2.2</ip></item>"
               "<item><ip>3.3.3.3</ip><mask>255.255.0.0</mask></item></ipAddr></tcpIp>");
    SearchReport r = ParseSearchAnswer("M", 1, answer.c_str(), kCfgpushRules);
    ASSERT_EQ(r.type, Type::Device);
    EXPECT_STREQ(r.device->ip[0], "");
    EXPECT_STREQ(r.device->mask[0], "255.0.0.0");
    EXPECT_STREQ(r.device->ip[1], "2.2.2.2");
    EXPECT_STREQ(r.device->mask[1], "");
}

TEST(SearchAnswerFields, IllFormedAnswersAreReadAsFarAsTheyGo) {
    // The port element is never ended: its children move up beside it.
    const std::string answer =
        "<multicastSearchResult><productInfo><devName>cam</devName></productInfo>"
        "<port><dataPort>9008</dataPort></multicastSearchResult>";
    SearchReport r = ParseSearchAnswer("M", 1, answer.c_str(), kCfgpushRules);
    ASSERT_EQ(r.type, Type::Device);
    EXPECT_STREQ(r.device->devName, "cam");
    EXPECT_EQ(r.device->dataPort, 0);
}

TEST(SearchAnswerFields, OverLongTextsAreCutToTheirFields) {
    const std::string longName(100, 'n');
    const std::string answer =
        "<multicastSearchResult><productInfo>"
        "<devName>" +
        longName +
        "</devName>"
        "<productModel>" +
        std::string(40, 'm') +
        "</productModel>"
        "<softwareVer>" +
        std::string(30, 'v') +
        "</softwareVer>"
        "<softwareBulildDate>" +
        std::string(30, 'd') +
        "</softwareBulildDate>"
        "<kernelVer>" +
        std::string(30, 'k') +
        "</kernelVer>"
        "<build>99999999999</build><deviceActivated>-99999999999</deviceActivated>"
        "</productInfo><tcpIp><ipAddr><item><ip>" +
        std::string(25, '1') + "</ip><mask>" + std::string(25, '2') +
        "</mask></item></ipAddr></tcpIp></multicastSearchResult>";
    SearchReport r =
        ParseSearchAnswer(std::string(40, 'A').c_str(), 1, answer.c_str(), kFwbatchRules);
    ASSERT_EQ(r.type, Type::Device);
    const SEARCH_DEVICE_INFO& d = *r.device;
    EXPECT_EQ(std::string(d.devName), std::string(63, 'n'));
    EXPECT_EQ(std::string(d.productModel), std::string(23, 'm'));
    EXPECT_EQ(std::string(d.softwareVer), std::string(19, 'v'));
    EXPECT_EQ(std::string(d.softwareBuildDate), std::string(15, 'd'));
    EXPECT_EQ(std::string(d.kernelVer), std::string(15, 'k'));
    EXPECT_EQ(std::string(d.ip[0]), std::string(19, '1'));
    EXPECT_EQ(std::string(d.mask[0]), std::string(19, '2'));
    EXPECT_EQ(std::string(d.mac), std::string(19, 'A'));  // same cut as the gone notice
    EXPECT_EQ(d.build, 2147483647);
    EXPECT_EQ(d.deviceActivated, -2147483647 - 1);
}

TEST(SearchAnswerFields, ACutNeverSplitsAUtf8Character) {
    // 21 three-byte characters (63 bytes) fit exactly; one more byte of a
    // 22nd character does not, and a cut inside it drops the whole character.
    std::string name;
    for (int i = 0; i < 22; ++i)
        name += "\xE4\xB8\xAD";
    const std::string withName = "<multicastSearchResult><productInfo><devName>" + name +
                                 "</devName></productInfo></multicastSearchResult>";
    SearchReport r = ParseSearchAnswer("M", 1, withName.c_str(), kCfgpushRules);
    ASSERT_EQ(r.type, Type::Device);
    EXPECT_EQ(std::string(r.device->devName), name.substr(0, 63));

    char field[8];
    discovery::CopyField(field, sizeof field, "abcde\xC3\xA9xyz", 10);  // é would straddle the cut
    EXPECT_STREQ(field, "abcde\xC3\xA9");
    discovery::CopyField(field, sizeof field, "abcdef\xC3\xA9", 8);
    EXPECT_STREQ(field, "abcdef");
    discovery::CopyField(field, sizeof field, "\x80\x80\x80\x80\x80\x80\x80\x80\x80",
                         9);  // not UTF-8
    EXPECT_EQ(std::string(field), std::string(7, '\x80'));
}

TEST(SearchAnswerFields, RecordsOfOneMacAreTheSameDeviceCaseSensitively) {
    const std::string answer = Answer("KMX");
    SearchReport a = ParseSearchAnswer("aa:bb", 1, answer.c_str(), kCfgpushRules);
    SearchReport b = ParseSearchAnswer("aa:bb", 3, answer.c_str(), kCfgpushRules);
    SearchReport c = ParseSearchAnswer("AA:BB", 1, answer.c_str(), kCfgpushRules);
    EXPECT_TRUE(SameDevice(*a.device, *b.device));
    EXPECT_FALSE(SameDevice(*a.device, *c.device));
}

}  // namespace

namespace {

// Mutated answers (fixed seed, so every run is the same) must never crash
// or read outside the text; under ASan this is the parser's memory check.
TEST(SearchAnswerRobustness, MutatedAnswersNeverBreakTheParser) {
    const std::string base = ReadFile("ipc-v4-full.xml") + ReadFile("nvr-reordered.xml");
    ASSERT_FALSE(base.empty());
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    const char alphabet[] = "<>/!?-[]&#x;'\"= \r\nCDATA";
    for (int round = 0; round < 3000; ++round) {
        std::string text = base;
        const int edits = 1 + static_cast<int>(next() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = next() % text.size();
            switch (next() % 3) {
                case 0:
                    text[at] = alphabet[next() % (sizeof alphabet - 1)];
                    break;
                case 1:
                    text.erase(at, 1 + next() % 16);
                    break;
                default:
                    text.insert(at, 1, alphabet[next() % (sizeof alphabet - 1)]);
                    break;
            }
            if (text.empty())
                text = "<";
        }
        for (int kind : {1, 2}) {
            SearchReport r = ParseSearchAnswer("AA:BB", kind, text.c_str(), kCfgpushRules);
            if (r.device) {
                EXPECT_LT(strnlen(r.device->devName, sizeof r.device->devName),
                          sizeof r.device->devName);
            }
        }
    }
}

}  // namespace

namespace {

std::string Repeat(const std::string& piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
}

// Hostile answers of a datagram's size at most: each gives a record whose
// fields hold their terminating zero, or nothing; entity definitions are
// not expanded; a MAC text of any length is cut to the record's field.
TEST(SearchAnswerRobustness, HostileAnswersGiveBoundedRecords) {
    auto answer = [](const std::string& name, const std::string& before = "", const std::string& after = "") {
        return before + "<multicastSearchResult><productInfo><productSeries>KMX_IPC</productSeries><devName>" +
               name + "</devName></productInfo>" + after + "</multicastSearchResult>";
    };
    struct Row {
        const char* what;
        std::string mac;
        std::string answer;
        Type type;
        std::string devName;
    };
    const std::vector<Row> rows = {
        {"entity definitions", "M",
         answer("&b;&b;", "<!DOCTYPE multicastSearchResult [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"),
         Type::Device, "&b;&b;"},
        {"sixteen thousand siblings", "M", answer("cam", "", Repeat("<x/>", 16000)), Type::Device, "cam"},
        {"deep nesting after the name", "M", answer("cam", "", Repeat("<x>", 16000)), Type::Device, "cam"},
        {"stray end tags", "M", answer("cam", "", Repeat("</x>", 16000)), Type::Device, "cam"},
        {"a name of 60000 bytes", "M", answer(std::string(60000, 'n')), Type::Device, std::string(63, 'n')},
        {"a name that is not UTF-8", "M", answer("\xff\xfe\xfd"), Type::Device, "\xff\xfe\xfd"},
        {"a name never ended", "M", "<multicastSearchResult><productInfo><devName>" + std::string(60000, 'n'),
         Type::Device, ""},
        {"a MAC text of 10000 bytes", std::string(10000, 'A'), answer("cam"), Type::Device, "cam"},
        {"no markup at all", "M", std::string(60000, '&'), Type::Dropped, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const SearchReport r = ParseSearchAnswer(row.mac.c_str(), 1, row.answer.c_str(), kFwbatchRules);
        ASSERT_EQ(r.type, row.type);
        if (r.type != Type::Device) {
            continue;
        }
        const SEARCH_DEVICE_INFO& d = *r.device;
        EXPECT_EQ(std::string(d.devName, strnlen(d.devName, sizeof d.devName)), row.devName);
        for (const auto& [field, size] : std::vector<std::pair<const char*, size_t>>{
                 {d.devName, sizeof d.devName}, {d.mac, sizeof d.mac}, {d.ip[0], sizeof d.ip[0]},
                 {d.ip[1], sizeof d.ip[1]}, {d.productModel, sizeof d.productModel},
                 {d.softwareVer, sizeof d.softwareVer}, {d.kernelVer, sizeof d.kernelVer}}) {
            EXPECT_LT(strnlen(field, size), size);
        }
        EXPECT_EQ(std::string(d.mac), row.mac.substr(0, std::min<size_t>(row.mac.size(), 19)));
    }
}

}  // namespace
