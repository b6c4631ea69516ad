// The simulated camera's ONVIF device service: requests read off the wire,
// and who it lets in, with its clock injected.
#include <gtest/gtest.h>

#include <string>

#include "onvif/DeviceSoap.h"
#include "sim/DeviceConfig.h"
#include "sim/HttpRequest.h"
#include "sim/OnvifDeviceAnswer.h"

namespace {

constexpr int64_t kNow = 1700000000000;  // the camera's clock

TEST(OnvifHttpRequest, HeadsAndBodies) {
    struct Case {
        std::string bytes;
        sim::HttpParse result;
    } cases[] = {
        {"POST /onvif/device_service HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
         sim::HttpParse::Done},
        {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nab", sim::HttpParse::NeedMore},
        {"POST / HTTP/1.1\r\nContent-Len", sim::HttpParse::NeedMore},
        {"POST / HTTP/2\r\n\r\n", sim::HttpParse::Bad},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", sim::HttpParse::Bad},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", sim::HttpParse::Bad},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", sim::HttpParse::Bad},
        {"POST / HTTP/1.1\r\nno colon\r\n\r\n", sim::HttpParse::Bad},
        {std::string(20000, 'A'), sim::HttpParse::Bad},
    };
    for (const Case& c : cases) {
        sim::HttpRequestHead head;
        EXPECT_EQ(sim::ParseHttpRequest(c.bytes, 16384, 65536, head), c.result)
            << c.bytes.substr(0, 40);
    }
    std::map<std::string, std::string> f;
    ASSERT_TRUE(
        sim::ParseDigestAuthorization("Digest username=\"ad\\\"min\", realm=\"camsim\", "
                                      "nonce=\"n1\", uri=\"/x\", qop=auth, nc=00000001, "
                                      "response=\"abc\"",
                                      f));
    EXPECT_EQ(f["username"], "ad\"min");
    EXPECT_EQ(f["qop"], "auth");
    EXPECT_FALSE(sim::ParseDigestAuthorization("Basic YWRtaW4=", f));
    EXPECT_FALSE(sim::ParseDigestAuthorization("Digest realm=\"open", f));
}

sim::OnvifHttpAnswer Ask(const std::string& body, sim::OnvifAuthState& state,
                         const sim::DeviceConfig& config) {
    sim::HttpRequestHead head;
    head.method = "POST";
    return sim::AnswerOnvifRequest(head, body, config, 80, 0, kNow, state);
}

std::string Signed(const std::string& password, int64_t createdMs,
                   const std::string& user = "admin") {
    onvif::UsernameToken token;
    onvif::MakeUsernameToken(user, password, createdMs, token);
    return onvif::BuildDeviceRequest("GetDeviceInformation", &token);
}

TEST(OnvifDeviceAnswer, TheTokenMustBeRightAndInTheCamerasWindow) {
    sim::DeviceConfig config = sim::DefaultDevice(0);
    config.identity.password = "p\xC3\xA4ss";
    sim::CompleteConfig(config);
    struct Case {
        std::string body;
        int status;
    } cases[] = {
        {Signed("p\xC3\xA4ss", kNow), 200},
        {Signed("p\xC3\xA4ss", kNow + sim::kCreatedAheadMs - 1000), 200},
        {Signed("p\xC3\xA4ss", kNow + sim::kCreatedAheadMs + 1000), 400},
        {Signed("p\xC3\xA4ss", kNow - sim::kCreatedBehindMs + 1000), 200},
        {Signed("p\xC3\xA4ss", kNow - sim::kCreatedBehindMs - 1000), 400},
        {Signed("pass", kNow), 400},
        {Signed("p\xC3\xA4ss", kNow, "root"), 400},
        {onvif::BuildDeviceRequest("GetDeviceInformation", nullptr), 400},
        {onvif::BuildDeviceRequest("GetSystemDateAndTime", nullptr), 200},
        {onvif::BuildDeviceRequest("SetSystemFactoryDefault", nullptr), 500},
        {"not xml", 400},
    };
    sim::OnvifAuthState state;
    for (const Case& c : cases) {
        const sim::OnvifHttpAnswer a = Ask(c.body, state, config);
        EXPECT_EQ(a.status, c.status) << c.body.substr(0, 300);
    }
    // The same token twice: its nonce is spent.
    const std::string once = Signed("p\xC3\xA4ss", kNow);
    EXPECT_EQ(Ask(once, state, config).status, 200);
    EXPECT_EQ(Ask(once, state, config).status, 400);
}

TEST(OnvifDeviceAnswer, ADigestCameraChallengesEverySignedCall) {
    sim::DeviceConfig config = sim::DefaultDevice(0);
    config.onvif.auth = "digest";
    sim::CompleteConfig(config);
    sim::OnvifAuthState state;
    const sim::OnvifHttpAnswer a = Ask(Signed("739164", kNow), state, config);
    EXPECT_EQ(a.status, 401);
    EXPECT_NE(a.wwwAuthenticate.find("Digest realm=\"camsim\""), std::string::npos);
    EXPECT_NE(a.wwwAuthenticate.find("algorithm=MD5"), std::string::npos);
    EXPECT_EQ(Ask(onvif::BuildDeviceRequest("GetSystemDateAndTime", nullptr), state, config).status,
              200);
}

TEST(OnvifDeviceAnswer, UtcTexts) {
    int64_t ms = 0;
    ASSERT_TRUE(sim::ParseUtcText("2010-09-16T07:50:45Z", ms));
    EXPECT_EQ(ms, 1284623445000);
    ASSERT_TRUE(sim::ParseUtcText("2010-09-16T07:50:45.1Z", ms));
    EXPECT_EQ(ms, 1284623445100);
    for (const char* bad :
         {"2010-09-16 07:50:45Z", "2010-13-16T07:50:45Z", "2010-09-16T07:50:45", "x"}) {
        EXPECT_FALSE(sim::ParseUtcText(bad, ms)) << bad;
    }
}

}  // namespace
