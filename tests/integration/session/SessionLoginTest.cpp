// Session creation and login against a scripted device over loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "SessionFixture.h"
#include "common/link/ConnectCancel.h"
#include "common/session/ReachDevice.h"
#include "tests/support/HangGuard.h"
#include "common/platform/Diagnostics.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

namespace {

using namespace testpeer;

TEST(SessionCreate, OnlyProtocolVersionThreeMakesASession) {
    for (uint32_t version : {2u, 4u}) {
        ScriptedDevice device;
        const DeviceGreeting g = MakeGreeting(version);
        device.Start(&g, [](PeerConnection& c) {
            Message m;
            c.ReadMessage(m, 2000);  // nothing comes: the session was refused
        });
        int error = -1;
        SessionPtr s = OpenSession(device, error);
        EXPECT_FALSE(s);
        EXPECT_EQ(error, version == 2 ? session::kProtocolTooOld : session::kProtocolTooNew);
    }
}

TEST(SessionCreate, TheGreetingIsKeptWhole) {
    ScriptedDevice device;
    DeviceGreeting g = MakeGreeting(3, 1, 0x00ABCDEF, true);
    g.SetWord(15, 0xDEADBEEF);
    device.Start(&g, [](PeerConnection& c) {
        Message m;
        c.ReadMessage(m, 1000);
    });
    int error = -1;
    SessionPtr s = OpenSession(device, error);
    ASSERT_TRUE(s);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(s->Greeting().bytes, g.bytes);
    EXPECT_EQ(s->Greeting().ProductType(), 0x22u);
    EXPECT_EQ(s->Greeting().SessionNumber(), 0xABCDEFu);
    EXPECT_TRUE(s->Greeting().PayloadEncrypted());
    EXPECT_EQ(s->GetStatus(), 4);  // not logged in yet
}

TEST(SessionLogin, SuccessFillsTheDeviceInformationAndStartsReceiving) {
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting(3, 1, 123456);
    Message request;
    device.Start(&g, [&](PeerConnection& c) {
        ASSERT_TRUE(AnswerLogin(c, &request));
        // After the login the receive thread takes messages: a request is answered.
        Message m;
        ASSERT_TRUE(c.ReadMessage(m));
        EXPECT_EQ(m.id, proto::kReq030D);
        c.SendMessage(proto::kReply0302, Le32(77));
        c.ReadMessage(m, 2000);
    });
    int error = -1;
    SessionOptions options;
    options.random = [] { return 42u; };
    SessionPtr s = OpenSession(device, error, options);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    ASSERT_EQ(s->Login("admin", "739164", info), 0);
    EXPECT_EQ(s->GetStatus(), 0);
    EXPECT_EQ(info.softwareVersion, 0x04000201u);
    EXPECT_EQ(info.value0, 0xA0A0A0A0u);
    EXPECT_EQ(info.values4to20[0], 4u);
    EXPECT_EQ(info.values4to20[4], 20u);
    EXPECT_EQ(info.flag32, 1);
    EXPECT_EQ(info.flag25, 1);
    EXPECT_EQ(info.value35, 35u);  // body byte 31 is set
    EXPECT_EQ(info.value26, 26u);
    EXPECT_EQ(info.value27, 27u);
    EXPECT_EQ(info.kindCode, 14u);  // body word 40 is 2
    EXPECT_EQ(info.bytes96to99[3], 99u);
    EXPECT_EQ(info.value52, 52u);
    EXPECT_EQ(info.value56, 56u);
    EXPECT_EQ(info.value92, 92u);
    EXPECT_EQ(info.value48, 48u);
    EXPECT_EQ(info.flag24, 1);
    EXPECT_EQ(info.flag29, 0);
    EXPECT_EQ(info.flag109, 1);
    EXPECT_EQ(s->DeviceInfo().softwareVersion, info.softwareVersion);
    uint32_t value = 0;
    EXPECT_EQ(s->Request030D(value), 0);
    EXPECT_EQ(value, 77u);
    // The record went out in digest form with the nonce from our source.
    ASSERT_EQ(request.body.size(), 116u);
    EXPECT_EQ(GetLe32(request.body, 68), 43u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.body.data()) + 4), "admin");
    s.reset();
    device.Join();
}

TEST(SessionLogin, RefusalCodesAreMappedAndARefusalIsNeverALogin) {
    // A refusal whose code is 0, or whose body cannot hold a code, is still
    // a refusal: it must not read as logged in (0).
    const std::pair<std::vector<uint8_t>, int> cases[] = {
        {Le32(2), 1},  {Le32(3), 6},
        {Le32(4), 6},  {Le32(7), 7},
        {Le32(13), 5}, {Le32(0), session::kLoginRefusedNoCode},
        {{}, session::kLoginRefusedNoCode}, {{2, 0, 0}, session::kLoginRefusedNoCode}};
    for (const auto& [body, expected] : cases) {
        ScriptedDevice device;
        const DeviceGreeting g = MakeGreeting();
        device.Start(&g, [body = body](PeerConnection& c) {
            Message m;
            ASSERT_TRUE(c.ReadMessage(m));
            c.SendMessage(proto::CMD_REPLY_LONGIN_FAIL, body);
            c.ReadMessage(m, 1000);
        });
        int error = -1;
        SessionPtr s = OpenSession(device, error);
        ASSERT_TRUE(s);
        NET_DEVICE_INFO info;
        EXPECT_EQ(s->Login("admin", "bad", info), expected) << body.size();
        EXPECT_EQ(s->GetStatus(), 4);
        s.reset();
        device.Join();
    }
}

TEST(SessionLogin, NoReplyWithinTheLimitGivesFour) {
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting();
    std::atomic<bool> done{false};
    device.Start(&g, [&](PeerConnection& c) {
        Message m;
        ASSERT_TRUE(c.ReadMessage(m));
        while (!done) c.ReadMessage(m, 100);  // silent, the connection stays up
    });
    int error = -1;
    SessionOptions options;
    options.loginReplyWaitMs = 300;
    SessionPtr s = OpenSession(device, error, options);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    EXPECT_EQ(s->Login("admin", "739164", info), session::kLinkFailed);
    EXPECT_EQ(s->GetStatus(), 4);
    done = true;
    s.reset();
    device.Join();
}

// What the device may send is bounded by what the session expects: a login
// reply above the login stage's limit, and after the login a reply above
// the replies' limit, break the link instead of being taken in.
TEST(SessionLogin, MessagesAboveTheStagesLimitBreakTheLink) {
    for (const bool loggedIn : {false, true}) {
        SCOPED_TRACE(loggedIn);
        ScriptedDevice device;
        const DeviceGreeting g = MakeGreeting();
        device.Start(&g, [&](PeerConnection& c) {
            Message m;
            if (!loggedIn) {
                ASSERT_TRUE(c.ReadMessage(m));
                std::vector<uint8_t> body = LoginReplyBody();
                body.resize(CNetDVSDevice::kLoginStageMessageLimit);
                c.SendMessage(proto::kReplyLoginOk, body);
            } else {
                ASSERT_TRUE(AnswerLogin(c));
                ASSERT_TRUE(c.ReadMessage(m));
                c.SendMessage(proto::kReply0405,
                              std::vector<uint8_t>(CNetDVSDevice::kReplyMessageLimit, 1));
            }
            while (c.ReadMessage(m, 10000)) {
            }
        });
        int error = -1;
        SessionPtr s = OpenSession(device, error);
        ASSERT_TRUE(s);
        NET_DEVICE_INFO info;
        if (!loggedIn) {
            EXPECT_EQ(s->Login("admin", "739164", info), session::kLinkFailed);
        } else {
            ASSERT_EQ(s->Login("admin", "739164", info), session::kOk);
            uint8_t buffer[8];
            uint32_t length = sizeof buffer;
            EXPECT_EQ(s->Request0405(buffer, length), session::kLinkFailed);
        }
        EXPECT_EQ(s->GetStatus(), 4);
        s.reset();
        device.Join();
    }
}

TEST(SessionLogin, AnUnexpectedReplyIsNotASuccess) {
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting();
    device.Start(&g, [](PeerConnection& c) {
        Message m;
        ASSERT_TRUE(c.ReadMessage(m));
        c.SendMessage(0x01000999, {});
        c.ReadMessage(m, 1000);
    });
    int error = -1;
    SessionPtr s = OpenSession(device, error);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    EXPECT_EQ(s->Login("admin", "739164", info), session::kLinkFailed);
    EXPECT_EQ(s->GetStatus(), 4);
    s.reset();
    device.Join();
}

TEST(SessionLogin, OverLongCredentialsAreRefusedWithoutSending) {
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting();
    std::atomic<bool> gotSomething{false};
    device.Start(&g, [&](PeerConnection& c) {
        Message m;
        if (c.ReadMessage(m, 1000)) gotSomething = true;
    });
    int error = -1;
    SessionPtr s = OpenSession(device, error);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    EXPECT_EQ(s->Login(std::string(32, 'a').c_str(), "x", info), session::kLoginCredentialTooLong);
    EXPECT_EQ(s->Login("admin", std::string(40, 'p').c_str(), info), session::kLoginCredentialTooLong);
    device.Join();
    EXPECT_FALSE(gotSomething);
}

TEST(SessionLogin, TheLoginLineNeverShowsThePassword) {
    std::string seen;
    platform::SetDiagSink([&](const std::string& t) { seen += t; });
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting();
    device.Start(&g, [](PeerConnection& c) { AnswerLogin(c); });
    int error = -1;
    SessionOptions options;
    options.logLoginLine = true;
    SessionPtr s = OpenSession(device, error, options);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    EXPECT_EQ(s->Login("admin", "s3cr3t-pw", info), 0);
    s.reset();
    device.Join();
    platform::SetDiagSink({});
    EXPECT_NE(seen.find("LogIn User = admin"), std::string::npos);
    EXPECT_EQ(seen.find("s3cr3t-pw"), std::string::npos);
}

}  // namespace

// A device that accepts and never greets: cancelling ends the wait for the
// greeting at once, not after the greeting's limit (here a day).
TEST(ReachDevice, CancellingEndsTheWaitForTheGreeting) {
    ScriptedDevice device;
    std::promise<void> accepted;
    device.Start(nullptr, [&](PeerConnection& c) {
        accepted.set_value();
        Message m;
        while (c.ReadMessage(m, 60000)) {
        }
    });
    ConnectCancel cancel;
    std::promise<bool> reached;
    std::thread worker([&] {
        uint8_t greeting[DeviceGreeting::kSize];
        ConnectProcEnv env;
        env.localPort = 0;
        reached.set_value(static_cast<bool>(
            ReachDevice("127.0.0.1", device.Port(), 5000, testsupport::kLongWaitMs, env, &cancel, greeting)));
    });
    ASSERT_EQ(accepted.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    {
        testsupport::HangGuard guard("ReachDevice after Cancel");
        cancel.Cancel();
        worker.join();
    }
    EXPECT_FALSE(reached.get_future().get());
    device.Join();
}
