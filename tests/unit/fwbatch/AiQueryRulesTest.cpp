// The AI query's credentials text and the reading of the answer document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fwbatch/engine/AiQuery.h"

namespace {

using namespace fwbatch;

TEST(AiQuery, CredentialsTextIsBase64OfUserColonPassword) {
    // python3 -c 'import base64; print(base64.b64encode(b"admin:739164"))'
    EXPECT_EQ(AiCredentialsText("admin", "739164").value_or("-"), "YWRtaW46NzM5MTY0");
    // 45 bytes of input make 60 characters, which fit the 64-byte field; 46 do not.
    const std::string user(22, 'u');
    EXPECT_EQ(AiCredentialsText(user, std::string(22, 'p')).value_or("").size(), 60u);
    EXPECT_FALSE(AiCredentialsText(user, std::string(23, 'p')).has_value());
}

TEST(AiQuery, AnswerDocument) {
    struct Row {
        const char* document;
        AiVersionTexts expected;
    };
    const Row rows[] = {
        {"<config><deviceInfo><structVersion>1.2</structVersion><faceDetectVersion>2.0</faceDetectVersion>"
         "<vehicleVersion>3.1_b</vehicleVersion></deviceInfo></config>",
         {"1.2", "2.0", "3.1_b"}},
        {"<config><deviceInfo><devName>x</devName></deviceInfo></config>", {"", "", ""}},
        {"<config><other><structVersion>1</structVersion></other></config>", {"", "", ""}},
        // The three are found in order: one that comes before its predecessor is missed.
        {"<config><deviceInfo><vehicleVersion>9</vehicleVersion><structVersion>1</structVersion>"
         "</deviceInfo></config>",
         {"1", "", ""}},
        {"<config><deviceInfo><faceDetectVersion>7</faceDetectVersion></deviceInfo></config>", {"", "7", ""}},
        {"", {"", "", ""}},
        {"<config><deviceInfo><structVersion>1", {"", "", ""}},
    };
    for (const Row& row : rows) {
        const AiVersionTexts got = ParseDeviceInfo(row.document);
        EXPECT_EQ(got.structure, row.expected.structure) << row.document;
        EXPECT_EQ(got.face, row.expected.face) << row.document;
        EXPECT_EQ(got.vehicle, row.expected.vehicle) << row.document;
    }
}

// What a hostile device may answer: each version is a bounded text, read up
// to its first zero byte and cut to kAiVersionTextMax bytes without
// splitting a UTF-8 character; entity definitions are not expanded.
TEST(AiQuery, HostileAnswerDocuments) {
    auto doc = [](const std::string& structure, const std::string& before = "") {
        return before + "<config><deviceInfo><structVersion>" + structure +
               "</structVersion><faceDetectVersion>2</faceDetectVersion><vehicleVersion>3</vehicleVersion>"
               "</deviceInfo></config>";
    };
    auto repeat = [](const std::string& piece, size_t count) {
        std::string out;
        for (size_t i = 0; i < count; ++i) out += piece;
        return out;
    };
    std::string chinese;  // 22 three-byte characters: 66 bytes
    for (int i = 0; i < 22; ++i) chinese += "\xE4\xB8\xAD";
    struct Row {
        const char* what;
        std::string document;
        std::string structure;
        std::string face;
    };
    const std::vector<Row> rows = {
        {"a huge version", doc(std::string(4u << 20, 'v')), std::string(kAiVersionTextMax, 'v'), "2"},
        {"exactly the limit", doc(std::string(kAiVersionTextMax, 'v')), std::string(kAiVersionTextMax, 'v'), "2"},
        {"a cut inside a character", doc(chinese), chinese.substr(0, 63), "2"},
        {"a zero byte", doc(std::string("1.2") + '\0' + "secret"), "1.2", "2"},
        {"not UTF-8", doc("\xff\xfe" "1"), "\xff\xfe" "1", "2"},
        {"entity definitions",
         doc("&lol2;", "<!DOCTYPE config [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;&lol;\">]>"), "&lol2;",
         "2"},
        {"a huge attribute", "<config><deviceInfo a=\"" + std::string(4u << 20, 'a') +
                                 "\"><structVersion>1</structVersion></deviceInfo></config>",
         "1", ""},
        {"deep nesting inside the version", doc(repeat("<a>", 100000) + repeat("</a>", 100000)), "", "2"},
        {"a hundred thousand elements never ended", "<config><deviceInfo>" + repeat("<a>", 100000), "", ""},
        {"unterminated version", "<config><deviceInfo><structVersion>1.0", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const AiVersionTexts got = ParseDeviceInfo(row.document);
        EXPECT_EQ(got.structure, row.structure);
        EXPECT_EQ(got.face, row.face);
        EXPECT_LE(got.vehicle.size(), kAiVersionTextMax);
    }
}

TEST(AiQuery, ResultText) {
    AiQueryResult r;
    EXPECT_EQ(AiResultStringId(r), 1058u);
    r.code = kAiVersionsReceived;
    EXPECT_EQ(AiResultStringId(r), 1059u);
    r.versions.vehicle = "1";
    EXPECT_EQ(AiResultStringId(r), 1057u);
}

}  // namespace
