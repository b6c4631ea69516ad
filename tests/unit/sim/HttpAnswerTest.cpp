// The device's HTTP answers and the Base64 reading of Basic credentials.

#include <gtest/gtest.h>

#include "sim/Base64Decode.h"
#include "sim/HttpAnswer.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(Base64Decode, Rfc4648Vectors) {
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"Zg==", "f"},
                                                           {"Zm8=", "fo"},
                                                           {"Zm9v", "foo"},
                                                           {"Zm9vYg==", "foob"},
                                                           {"Zm9vYmE=", "fooba"},
                                                           {"Zm9vYmFy", "foobar"}};
    for (const auto& [encoded, plain] : vectors) {
        std::string out;
        ASSERT_TRUE(sim::DecodeBase64(encoded, out)) << encoded;
        EXPECT_EQ(out, plain);
    }
    std::string out;
    EXPECT_TRUE(sim::DecodeBase64("+/+/", out));
    EXPECT_EQ(out, "\xFB\xFF\xBF");
    // Non-zero bits under the padding ("QR==" would also give "A").
    for (const char* bad : {"Zg=", "Z===", "Zg=a", "Zm9v!A==", "Zg==Zg==", "QR==", "Zm9=", "Zm9vQR=="}) {
        EXPECT_FALSE(sim::DecodeBase64(bad, out)) << bad;
        EXPECT_TRUE(out.empty()) << bad;
    }
}

TEST(HttpAnswer, GetDeviceInfoNeedsTheDevicesCredentials) {
    sim::DeviceConfig config = sim::DefaultDevice(0);
    // "admin:739164" in Base64 (printf admin:739164 | base64).
    const std::string good = "YWRtaW46NzM5MTY0";
    std::vector<uint8_t> padded = Bytes(good);
    padded.resize(32, 0);  // the zero padding of an encrypted request
    for (const auto& payload : {Bytes(good), padded, Bytes("Basic " + good + "\r\n")}) {
        EXPECT_TRUE(sim::CredentialsMatch(config, payload));
        const sim::HttpAnswer a = sim::AnswerHttpRequest(config, "GetDeviceInfo", payload);
        EXPECT_EQ(a.status, 200);
        EXPECT_EQ(a.text.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
        const std::string body = a.text.substr(a.text.find("\r\n\r\n") + 4);
        EXPECT_NE(a.text.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
                  std::string::npos);
        EXPECT_EQ(body, sim::DeviceInfoDocument(config));
    }
    for (const std::string bad : {"YWRtaW46NzM5MTY1", "", "YWRtaW4=", "not base64"}) {
        EXPECT_EQ(sim::AnswerHttpRequest(config, "GetDeviceInfo", Bytes(bad)).status, 401) << bad;
    }
}

TEST(HttpAnswer, TheDocumentCarriesTheThreeVersionsInOrderOrNone) {
    sim::DeviceConfig config = sim::DefaultDevice(0);
    config.identity.ai = sim::AiVersions{"s<1>", "f", "v"};
    const std::string doc = sim::DeviceInfoDocument(config);
    EXPECT_NE(doc.find("<config><deviceInfo>"), std::string::npos);
    const size_t s = doc.find("<structVersion>s&lt;1&gt;</structVersion>");
    const size_t f = doc.find("<faceDetectVersion>f</faceDetectVersion>");
    const size_t v = doc.find("<vehicleVersion>v</vehicleVersion>");
    ASSERT_NE(s, std::string::npos);
    EXPECT_TRUE(s < f && f < v && v != std::string::npos);
    config.identity.ai.reset();
    EXPECT_EQ(sim::DeviceInfoDocument(config).find("Version>"), std::string::npos);
}

TEST(HttpAnswer, ImportFacConfUnknownNamesAndTheStatusFault) {
    sim::DeviceConfig config = sim::DefaultDevice(0);
    EXPECT_EQ(sim::AnswerHttpRequest(config, "ImportFacConf", Bytes("x")).status, 200);
    EXPECT_EQ(sim::AnswerHttpRequest(config, "importfacconf", {}).status, 404);
    config.faults.httpStatus = 503;
    for (const char* name : {"ImportFacConf", "GetDeviceInfo", "Other"}) {
        const sim::HttpAnswer a = sim::AnswerHttpRequest(config, name, Bytes("YWRtaW46NzM5MTY0"));
        EXPECT_EQ(a.status, 503);
        EXPECT_EQ(a.text.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u);
    }
}

}  // namespace
