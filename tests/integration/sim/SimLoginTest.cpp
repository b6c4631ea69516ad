// The program's session and login code against simulated devices over
// loopback sockets: every login form, refusals, the session limit, silence,
// a wrong magic and fragmented replies.

#include <gtest/gtest.h>

#include <thread>

#include "SimTestSupport.h"
#include "common/crypto/CipherRegistry.h"
#include "common/session/SessionResults.h"
#include "sim/LoginReply.h"

namespace {

using namespace simtest;

struct FormCase {
    const char* name;
    uint32_t transformMode;
    uint32_t transformKey;
    uint8_t digestMode;
    sim::LoginForm form;
};

class SimLoginForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(SimLoginForms, RightCredentialsLogInWrongOnesAreRefused) {
    const FormCase c = GetParam();
    auto simulator = StartSimulator(QuickFleet(1, [&](sim::DeviceConfig& d) {
        d.greeting.transformMode = c.transformMode;
        d.greeting.transformKey = c.transformKey;
        d.greeting.digestMode = c.digestMode;
        d.greeting.sessionNumber = 905;
        d.identity.user = "operator";
        d.identity.password = "s3cret!";
        d.identity.softwareVer = "4.0.2.7";
    }));

    {
        int error = 0;
        SessionPtr session = OpenSession(*simulator, 0, error);
        ASSERT_TRUE(session);
        NET_DEVICE_INFO info;
        ASSERT_EQ(session->Login("operator", "s3cret!", info), session::kOk);
        EXPECT_EQ(session->GetStatus(), 0);
        EXPECT_EQ(info.softwareVersion, 0x04000207u);  // from the device's version text
        EXPECT_EQ(info.kindCode, 15u);                 // body word 40 is 1
    }
    for (auto [user, password] : {std::pair{"operator", "s3cret?"},
                                  std::pair{"Operator", "s3cret!"}, std::pair{"operator", ""}}) {
        int error = 0;
        SessionPtr session = OpenSession(*simulator, 0, error);
        ASSERT_TRUE(session);
        NET_DEVICE_INFO info;
        EXPECT_EQ(session->Login(user, password, info), session::kLoginWrongCredentials)
            << user << "/" << password;
        EXPECT_EQ(session->GetStatus(), 4);
    }

    const sim::DeviceRecords records = simulator->Records(0);
    ASSERT_EQ(records.logins.size(), 4u);
    EXPECT_TRUE(records.logins[0].accepted);
    EXPECT_EQ(records.logins[0].form, c.form);
    EXPECT_EQ(records.logins[0].user, "operator");
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_FALSE(records.logins[i].accepted);
        EXPECT_EQ(records.logins[i].refusal, sim::kRefuseWrongCredentials);
    }
    if (c.digestMode != 0 && c.transformMode == 0) {
        EXPECT_GE(records.logins[0].nonce, 1u);
        EXPECT_LE(records.logins[0].nonce, 0xFFFF00u);
    }
    EXPECT_TRUE(records.anomalies.empty());
}

INSTANTIATE_TEST_SUITE_P(Forms, SimLoginForms,
                         ::testing::Values(FormCase{"plain", 0, 0, 0, sim::LoginForm::Plain},
                                           FormCase{"digest1", 0, 0, 1, sim::LoginForm::Digest1},
                                           FormCase{"digest2", 0, 0, 2, sim::LoginForm::Digest2},
                                           FormCase{"xor_transform", kCipherIdXor, 0x44332211u, 0,
                                                    sim::LoginForm::Transform},
                                           FormCase{"transform_before_digest", kCipherIdXor,
                                                    0xA5C3E1F7u, 2, sim::LoginForm::Transform}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SimLogin, DigestTwoAcceptsANameWhoseScramblingMakesAZeroByte) {
    // Session 1 gives T = "1": a name starting with '1' scrambles its first
    // byte to zero, which the device cannot tell from the end of the name.
    auto simulator = StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) {
        d.greeting.digestMode = 2;
        d.greeting.sessionNumber = 1;
        d.identity.user = "1admin";
    }));
    SessionPtr session = LoggedInSession(*simulator, 0, "1admin", "739164");
    EXPECT_TRUE(session);
    const auto records = simulator->Records(0);
    ASSERT_EQ(records.logins.size(), 1u);
    EXPECT_TRUE(records.logins[0].accepted);
    EXPECT_EQ(records.logins[0].user, "1admin");
    EXPECT_EQ(records.logins[0].record[4], 0);  // the scrambled first byte on the wire
}

TEST(SimLogin, RefusalCodesReachTheProgramMapped) {
    auto simulator = StartSimulator(QuickFleet(1));
    for (auto [code, expected] : {std::pair{2u, 1}, std::pair{3u, 6}, std::pair{4u, 6},
                                  std::pair{13u, 5}, std::pair{7u, 7}}) {
        sim::DeviceFaults faults;
        faults.refuseLogin = code;
        simulator->SetFaults(0, faults);
        int error = 0;
        SessionPtr session = OpenSession(*simulator, 0, error);
        ASSERT_TRUE(session);
        NET_DEVICE_INFO info;
        EXPECT_EQ(session->Login("admin", "739164", info), expected) << "device code " << code;
        EXPECT_EQ(simulator->Records(0).logins.back().refusal, code);
    }
}

TEST(SimLogin, TheSessionLimitAnswersTooManyConnections) {
    auto simulator =
        StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) { d.behaviour.maxSessions = 2; }));
    SessionPtr first = LoggedInSession(*simulator, 0);
    SessionPtr second = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(simulator->Records(0).openSessions, 2u);

    int error = 0;
    SessionPtr third = OpenSession(*simulator, 0, error);
    ASSERT_TRUE(third);
    NET_DEVICE_INFO info;
    EXPECT_EQ(third->Login("admin", "739164", info), session::kLoginTooManyConnections);
    EXPECT_EQ(simulator->Records(0).logins.back().refusal, sim::kRefuseTooManyConnections);

    // A session that ends frees its place.
    first.reset();
    ASSERT_TRUE(simulator->WaitForRecords(0, [](const auto& r) { return r.openSessions == 1; }));
    SessionPtr again = OpenSession(*simulator, 0, error);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Login("admin", "739164", info), session::kOk);
    EXPECT_EQ(simulator->Records(0).openSessions, 2u);
}

TEST(SimLogin, ASilentDeviceGivesNoReplyInTime) {
    auto simulator = StartSimulator(QuickFleet(2, [](sim::DeviceConfig& d) {
        d.faults.silence = d.identity.mac == sim::DefaultMac(0) ? sim::Silence::NoLoginReply
                                                                : sim::Silence::NoGreeting;
    }));
    SessionOptions options;
    options.loginReplyWaitMs = 300;
    int error = 0;
    SessionPtr session = OpenSession(*simulator, 0, error, options);
    ASSERT_TRUE(session);
    NET_DEVICE_INFO info;
    EXPECT_EQ(session->Login("admin", "739164", info), session::kLinkFailed);
    EXPECT_TRUE(
        simulator->WaitForRecords(0, [](const auto& r) { return r.ignoredWhileSilent >= 1; }));
    EXPECT_TRUE(simulator->Records(0).logins.empty());

    RawClient raw;
    ASSERT_TRUE(raw.Connect(simulator->Address(1), simulator->DataPort(1)));
    std::vector<uint8_t> greeting;
    EXPECT_FALSE(raw.ReadGreeting(greeting, 300));  // no greeting comes
}

TEST(SimLogin, AWrongMagicOnTheLoginReplyFailsTheLogin) {
    auto simulator =
        StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) { d.faults.badMagicReply = 1; }));
    SessionOptions options;
    options.loginReplyWaitMs = 2000;
    int error = 0;
    SessionPtr session = OpenSession(*simulator, 0, error, options);
    ASSERT_TRUE(session);
    NET_DEVICE_INFO info;
    EXPECT_EQ(session->Login("admin", "739164", info), session::kLinkFailed);
    EXPECT_NE(session->GetStatus(), 0);
}

TEST(SimLogin, FragmentedRepliesAreReassembledByTheProgram) {
    for (uint32_t size : {1u, 7u, 16u, 100u}) {
        auto simulator = StartSimulator(QuickFleet(1, [&](sim::DeviceConfig& d) {
            d.link.fragmentSize = size;
            d.identity.softwareVer = "3.4.2.1";
        }));
        int error = 0;
        SessionPtr session = OpenSession(*simulator, 0, error);
        ASSERT_TRUE(session);
        NET_DEVICE_INFO info;
        ASSERT_EQ(session->Login("admin", "739164", info), session::kOk) << size;
        EXPECT_EQ(info.softwareVersion, 0x03040201u) << size;
        // A second reply after the login goes to the other slot.
        std::string text;
        uint32_t length = 0;
        const std::string credentials = "YWRtaW46NzM5MTY0";  // admin:739164
        EXPECT_EQ(session->HttpRequest("GetDeviceInfo", text, length, credentials.data(),
                                       static_cast<uint32_t>(credentials.size())),
                  session::kOk)
            << size;
        EXPECT_NE(text.find("<structVersion>1.2.0</structVersion>"), std::string::npos) << size;
    }
}

TEST(SimLogin, KeepAliveFramesFromTheDeviceDoNotDisturbTheSession) {
    auto simulator =
        StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) { d.link.keepAliveMs = 5; }));
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let some empty frames arrive
    EXPECT_EQ(session->ImportFacConf("x", 1), 200);
    EXPECT_EQ(session->GetStatus(), 0);
}

}  // namespace
