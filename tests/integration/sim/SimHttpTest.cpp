// HTTP requests through the session and the version-3 configuration
// command against simulated devices, with and without payload encryption.

#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "common/markup/CBase64Encoder.h"
#include "common/session/SessionResults.h"

namespace {

using namespace simtest;

class SimHttp : public ::testing::TestWithParam<bool> {
protected:
    std::unique_ptr<sim::Simulator> Start(
        const std::function<void(sim::DeviceConfig&)>& change = {}) {
        const bool encrypted = GetParam();
        return StartSimulator(QuickFleet(1, [&](sim::DeviceConfig& d) {
            d.greeting.encrypted = encrypted;
            d.greeting.sessionNumber = 123456;
            if (change)
                change(d);
        }));
    }
};

TEST_P(SimHttp, ImportFacConfKeepsEveryPayloadAndAnswers200) {
    auto simulator = Start();
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    const std::vector<size_t> sizes = {0, 1, 10, 16, 17, 4000};
    for (size_t size : sizes) {
        const std::vector<uint8_t> payload = Pattern(size, static_cast<uint8_t>(size));
        EXPECT_EQ(session->ImportFacConf(payload.data(), static_cast<uint32_t>(payload.size())),
                  200)
            << size;
    }
    const sim::DeviceRecords records = simulator->Records(0);
    ASSERT_EQ(records.configs.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const sim::ConfigEntry& e = records.configs[i];
        EXPECT_EQ(e.route, sim::ConfigRoute::ImportFacConf);
        EXPECT_EQ(e.encrypted, GetParam());
        const std::vector<uint8_t> sent = Pattern(sizes[i], static_cast<uint8_t>(sizes[i]));
        EXPECT_TRUE(sim::SamePayload(sent, e.payload, e.encrypted)) << sizes[i];
        // Without encryption the payload arrives exactly; with it, padded to
        // whole blocks of the request (64-byte name + payload).
        EXPECT_EQ(e.payload.size(), GetParam() ? (sizes[i] + 15) / 16 * 16 : sizes[i]);
        EXPECT_LE(e.possiblePadding, 15u);
        EXPECT_EQ(records.http[i].name, "ImportFacConf");
        EXPECT_EQ(records.http[i].status, 200);
    }
}

TEST_P(SimHttp, AChosenStatusIsReportedByBothForms) {
    auto simulator = Start([](sim::DeviceConfig& d) { d.faults.httpStatus = 500; });
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->ImportFacConf("cfg", 3), 500);
    std::string text;
    uint32_t length = 0;
    EXPECT_EQ(session->HttpRequest("GetDeviceInfo", text, length, "", 0), session::kLinkFailed);
    EXPECT_EQ(text.rfind("HTTP/1.1 500 ", 0), 0u);
    EXPECT_EQ(simulator->Records(0).configs.size(), 1u);  // kept all the same
}

TEST_P(SimHttp, GetDeviceInfoChecksTheCredentialsAndAnswersTheVersions) {
    auto simulator = Start([](sim::DeviceConfig& d) {
        d.identity.ai = sim::AiVersions{"S-3.1", "F-2.2", "V-1.3"};
    });
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);

    const std::string credentials = CBase64Encoder().Encode(std::string("admin:739164"));
    std::string text;
    uint32_t length = 0;
    ASSERT_EQ(session->HttpRequest("GetDeviceInfo", text, length, credentials.data(),
                                   static_cast<uint32_t>(credentials.size())),
              session::kOk);
    EXPECT_EQ(text.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    const std::string document = text.substr(text.find('<'));
    EXPECT_NE(document.find("<config><deviceInfo>"), std::string::npos);
    const size_t s = document.find("<structVersion>S-3.1</structVersion>");
    const size_t f = document.find("<faceDetectVersion>F-2.2</faceDetectVersion>");
    const size_t v = document.find("<vehicleVersion>V-1.3</vehicleVersion>");
    ASSERT_NE(s, std::string::npos);
    ASSERT_NE(f, std::string::npos);
    ASSERT_NE(v, std::string::npos);
    EXPECT_TRUE(s < f && f < v);  // the order the program reads them in

    const std::string wrong = CBase64Encoder().Encode(std::string("admin:wrong"));
    EXPECT_EQ(session->HttpRequest("GetDeviceInfo", text, length, wrong.data(),
                                   static_cast<uint32_t>(wrong.size())),
              session::kLinkFailed);
    EXPECT_EQ(text.rfind("HTTP/1.1 401 ", 0), 0u);
    EXPECT_EQ(session->HttpRequest("NoSuchThing", text, length, "", 0), session::kLinkFailed);
    EXPECT_EQ(text.rfind("HTTP/1.1 404 ", 0), 0u);

    const auto records = simulator->Records(0);
    ASSERT_EQ(records.http.size(), 3u);
    EXPECT_EQ(records.http[0].status, 200);
    EXPECT_EQ(records.http[1].status, 401);
    EXPECT_EQ(records.http[2].status, 404);
    EXPECT_TRUE(records.configs.empty());
}

TEST_P(SimHttp, ADeviceWithoutAnalysisAnswersADocumentWithoutVersions) {
    auto simulator = Start([](sim::DeviceConfig& d) { d.identity.ai.reset(); });
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    const std::string credentials = CBase64Encoder().Encode(std::string("admin:739164"));
    std::string text;
    uint32_t length = 0;
    ASSERT_EQ(session->HttpRequest("GetDeviceInfo", text, length, credentials.data(),
                                   static_cast<uint32_t>(credentials.size())),
              session::kOk);
    EXPECT_NE(text.find("<deviceInfo>"), std::string::npos);
    EXPECT_EQ(text.find("structVersion"), std::string::npos);
    EXPECT_EQ(text.find("faceDetectVersion"), std::string::npos);
    EXPECT_EQ(text.find("vehicleVersion"), std::string::npos);
}

TEST_P(SimHttp, FragmentedHttpRepliesArrive) {
    auto simulator = Start([](sim::DeviceConfig& d) { d.link.fragmentSize = 9; });
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(session->ImportFacConf("abc", 3), 200) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Encryption, SimHttp, ::testing::Bool(), [](const auto& p) {
    return p.param ? std::string("encrypted") : std::string("plain");
});

TEST(SimConfigV3, TheCommandKeepsThePayloadAndAnswersTheChosenValue) {
    auto simulator = StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) {
        d.identity.softwareVer = "3.4.2";
        d.behaviour.configV3Reply = 0xC0FFEE;
    }));
    int error = 0;
    SessionPtr session = OpenSession(*simulator, 0, error);  // no login for version-3 devices
    ASSERT_TRUE(session);
    const std::vector<uint8_t> payload = Pattern(4 + 64 * 3, 3);
    uint32_t value = 0;
    ASSERT_EQ(
        session->SendConfigCommand(payload.data(), static_cast<uint32_t>(payload.size()), value),
        session::kOk);
    EXPECT_EQ(value, 0xC0FFEEu);
    const auto records = simulator->Records(0);
    ASSERT_EQ(records.configs.size(), 1u);
    EXPECT_EQ(records.configs[0].route, sim::ConfigRoute::Command0D01);
    EXPECT_EQ(records.configs[0].payload, payload);
    EXPECT_TRUE(records.logins.empty());
}

TEST(SimConfigV3, ASilentDeviceLetsTheCommandTimeOut) {
    auto simulator = StartSimulator(
        QuickFleet(1, [](sim::DeviceConfig& d) { d.behaviour.configV3Silent = true; }));
    SessionOptions options;
    options.configReplyWaitMs = 300;
    int error = 0;
    SessionPtr session = OpenSession(*simulator, 0, error, options);
    ASSERT_TRUE(session);
    uint32_t value = 0;
    EXPECT_EQ(session->SendConfigCommand("abc", 3, value), session::kLinkFailed);
    ASSERT_TRUE(simulator->WaitForRecords(0, [](const auto& r) { return r.configs.size() == 1; }));
    EXPECT_EQ(simulator->Records(0).configs[0].payload, (std::vector<uint8_t>{'a', 'b', 'c'}));
}

}  // namespace
