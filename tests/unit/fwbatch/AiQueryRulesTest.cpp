// The AI query's credentials text and the reading of the answer document.
#include <gtest/gtest.h>

#include <string>

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

TEST(AiQuery, ResultText) {
    AiQueryResult r;
    EXPECT_EQ(AiResultStringId(r), 1058u);
    r.code = kAiVersionsReceived;
    EXPECT_EQ(AiResultStringId(r), 1059u);
    r.versions.vehicle = "1";
    EXPECT_EQ(AiResultStringId(r), 1057u);
}

}  // namespace
