// HTTP-style requests through the session, and the version-3 command.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "SessionFixture.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

namespace {

using namespace testpeer;

std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

struct HttpCase {
    ScriptedDevice device;
    SessionPtr session;

    void Open(ScriptedDevice::Script script, DeviceGreeting g = MakeGreeting(), SessionOptions options = {},
              bool login = true) {
        device.Start(&g, [script = std::move(script), login](PeerConnection& c) {
            if (login) {
                ASSERT_TRUE(AnswerLogin(c));
            }
            script(c);
        });
        int error = -1;
        session = OpenSession(device, error, options);
        ASSERT_TRUE(session);
        if (login) {
            NET_DEVICE_INFO info;
            ASSERT_EQ(session->Login("admin", "739164", info), 0);
        }
    }
    ~HttpCase() {
        session.reset();
        device.Join();
    }
};

TEST(SessionHttp, AnEmptyPayloadSendsTheNameFieldAlone) {
    HttpCase t;
    Message request;
    t.Open([&](PeerConnection& c) {
        ASSERT_TRUE(c.ReadMessage(request));
        c.SendMessage(proto::kReplyHttp, Text("HTTP/1.1 200 OK\r\n\r\n"));
        Message m;
        c.ReadMessage(m, 1000);
    });
    EXPECT_EQ(t.session->ImportFacConf(nullptr, 0), 200);
    EXPECT_EQ(request.id, proto::kReqHttp);
    ASSERT_EQ(request.body.size(), 64u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.body.data())), "ImportFacConf");
    EXPECT_EQ(GetLe32(request.raw, 12), 64u);
}

TEST(SessionHttp, EncryptedBothWaysWithTheSessionKey) {
    // Vectors from tests/data/session/make_http_vectors.sh (openssl enc).
    HttpCase t;
    Message request;
    t.Open(
        [&](PeerConnection& c) {
            ASSERT_TRUE(c.ReadMessage(request));
            c.SendMessage(proto::kReplyHttp, FromHex(DataField("http_vectors.txt", "reply200_cipher", 1)));
            Message m;
            c.ReadMessage(m, 1000);
        },
        MakeGreeting(3, 0, 123456, true));
    const std::string payload = "0123456789";
    EXPECT_EQ(t.session->ImportFacConf(payload.data(), 10), 200);
    EXPECT_EQ(request.body.size(), 80u);  // 74 bytes padded to whole blocks
    EXPECT_EQ(request.body, FromHex(DataField("http_vectors.txt", "request_cipher", 1)));
}

TEST(SessionHttp, StatusesInBothForms) {
    for (const char* status : {"200", "404"}) {
        for (bool fwbatch : {false, true}) {
            HttpCase t;
            const std::string reply = std::string("HTTP/1.1 ") + status + " Whatever\r\n\r\nbody";
            t.Open([&](PeerConnection& c) {
                Message m;
                ASSERT_TRUE(c.ReadMessage(m));
                c.SendMessage(proto::kReplyHttp, Text(reply));
                c.ReadMessage(m, 1000);
            });
            if (fwbatch) {
                std::string text;
                uint32_t length = 0;
                const int r = t.session->HttpRequest("GetDeviceInfo", text, length, "q", 1);
                EXPECT_EQ(r, std::string(status) == "200" ? 0 : 4);
                EXPECT_EQ(text, reply);
                EXPECT_EQ(length, 16 + reply.size());
            } else {
                EXPECT_EQ(t.session->ImportFacConf("x", 1), std::stoi(status));
            }
        }
    }
}

TEST(SessionHttp, EncryptedReplyDecryptsIntoTheStatus) {
    HttpCase t;
    t.Open(
        [&](PeerConnection& c) {
            Message m;
            ASSERT_TRUE(c.ReadMessage(m));
            c.SendMessage(proto::kReplyHttp, FromHex(DataField("http_vectors.txt", "reply404_cipher", 1)));
            c.ReadMessage(m, 1000);
        },
        MakeGreeting(3, 0, 123456, true));
    std::string text;
    uint32_t length = 0;
    EXPECT_EQ(t.session->HttpRequest("GetDeviceInfo", text, length, nullptr, 0), 4);
    EXPECT_EQ(text, "HTTP/1.1 404 Not Found\r\n\r\n");
    EXPECT_EQ(length, 16u + 32u);
}

TEST(SessionHttp, UnrelatedMessagesBeforeTheReplyDoNotEndTheWait) {
    HttpCase t;
    t.Open([&](PeerConnection& c) {
        Message m;
        ASSERT_TRUE(c.ReadMessage(m));
        c.SendMessage(proto::kReplyProgress0506, Le32(5));
        c.SendMessage(proto::kReplyHttp, Text("HTTP/1.1 500 x\r\n"), 1);  // auxiliary word not 0
        c.SendMessage(0x01004444, {});
        c.SendMessage(proto::kReplyHttp, Text("HTTP/1.1 200 OK\r\n"));
        c.ReadMessage(m, 1000);
    });
    EXPECT_EQ(t.session->ImportFacConf("x", 1), 200);
    int percent = 0;
    int extra = 0;
    // The unrelated progress message was still dispatched.
    EXPECT_EQ(t.session->PollUpgradeProgress(percent, 10, extra), 0);
    EXPECT_EQ(percent, 4);
}

TEST(SessionHttp, SilenceEndsTheWaitAndAnUnreadableStatusLineGivesZero) {
    SessionOptions options;
    options.httpReadWaitMs = 300;
    {
        HttpCase t;
        t.Open([&](PeerConnection& c) {
            Message m;
            ASSERT_TRUE(c.ReadMessage(m));
            c.SendMessage(0x01004444, {});  // one unrelated message restarts the wait, then silence
            c.ReadMessage(m, 3000);
        }, MakeGreeting(), options);
        EXPECT_EQ(t.session->ImportFacConf("x", 1), 4);
    }
    {
        HttpCase t;
        t.Open([&](PeerConnection& c) {
            Message m;
            for (int i = 0; i < 2; ++i) {
                ASSERT_TRUE(c.ReadMessage(m));
                c.SendMessage(proto::kReplyHttp, Text("not a status line"));
            }
            c.ReadMessage(m, 1000);
        }, MakeGreeting(), options);
        EXPECT_EQ(t.session->ImportFacConf("x", 1), 0);
        std::string text;
        uint32_t length = 0;
        EXPECT_EQ(t.session->HttpRequest("GetDeviceInfo", text, length, nullptr, 0), 4);
        EXPECT_EQ(text, "not a status line");
    }
}

TEST(SessionHttp, FwbatchFormGivesUpAfterTwentyNineOtherMessages) {
    HttpCase t;
    t.Open([&](PeerConnection& c) {
        Message m;
        ASSERT_TRUE(c.ReadMessage(m));
        for (int i = 0; i < 28; ++i) c.SendMessage(0x01004444, {});
        c.SendMessage(proto::kReplyHttp, Text("HTTP/1.1 200 OK\r\n"));  // the 29th message: in time
        ASSERT_TRUE(c.ReadMessage(m));
        for (int i = 0; i < 29; ++i) c.SendMessage(0x01004444, {});
        c.SendMessage(proto::kReplyHttp, Text("HTTP/1.1 200 OK\r\n"));  // the 30th: too late
        c.ReadMessage(m, 1000);
    });
    std::string text;
    uint32_t length = 0;
    EXPECT_EQ(t.session->HttpRequest("GetDeviceInfo", text, length, nullptr, 0), 0);
    EXPECT_EQ(t.session->HttpRequest("GetDeviceInfo", text, length, nullptr, 0), 4);
}

TEST(SessionHttp, RepliesNeverGoAstrayWhileTheReceiveThreadRuns) {
    // Each reply arrives while the receive thread is reading: the dispatcher
    // must hand every one to the waiting request.
    constexpr int kRequests = 200;
    HttpCase t;
    t.Open([&](PeerConnection& c) {
        for (int i = 0; i < kRequests; ++i) {
            Message m;
            if (!c.ReadMessage(m)) return;
            c.SendKeepAlive();
            c.SendMessage(proto::kReplyHttp, Text("HTTP/1.1 200 OK\r\n\r\n" + std::to_string(i)));
        }
        Message m;
        c.ReadMessage(m, 1000);
    });
    int ok = 0;
    for (int i = 0; i < kRequests; ++i) {
        std::string text;
        uint32_t length = 0;
        if (t.session->HttpRequest("GetDeviceInfo", text, length, nullptr, 0) == 0 &&
            text == "HTTP/1.1 200 OK\r\n\r\n" + std::to_string(i)) {
            ++ok;
        }
    }
    EXPECT_EQ(ok, kRequests);
}

TEST(SessionHttp, NamesTooLongForTheirFieldAreRefused) {
    HttpCase t;
    std::atomic<bool> got{false};
    t.Open([&](PeerConnection& c) {
        Message m;
        if (c.ReadMessage(m, 500)) got = true;
    });
    std::string text;
    uint32_t length = 0;
    EXPECT_EQ(t.session->HttpRequest(std::string(64, 'n').c_str(), text, length, nullptr, 0), 4);
    t.session.reset();
    t.device.Join();
    EXPECT_FALSE(got);
}

TEST(SessionConfigCommand, ReplyWithinTheLimitWithoutLoggingIn) {
    HttpCase t;
    Message request;
    t.Open(
        [&](PeerConnection& c) {
            ASSERT_TRUE(c.ReadMessage(request));
            c.SendMessage(0x01000D02, Le32(1));
            Message m;
            c.ReadMessage(m, 1000);
        },
        MakeGreeting(), {}, false);
    uint32_t value = 99;
    const std::string payload(300, 'c');
    EXPECT_EQ(t.session->SendConfigCommand(payload.data(), 300, value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(request.id, proto::kReqConfigV3);
    EXPECT_EQ(request.body.size(), 300u);
}

TEST(SessionConfigCommand, NoReplyGivesFour) {
    SessionOptions options;
    options.configReplyWaitMs = 300;
    HttpCase t;
    t.Open(
        [&](PeerConnection& c) {
            Message m;
            ASSERT_TRUE(c.ReadMessage(m));
            c.ReadMessage(m, 3000);
        },
        MakeGreeting(), options, false);
    uint32_t value = 0;
    EXPECT_EQ(t.session->SendConfigCommand("x", 1, value), 4);
}

TEST(SessionConfigCommand, AFragmentedReplyIsPutTogether) {
    HttpCase t;
    t.Open(
        [&](PeerConnection& c) {
            Message m;
            ASSERT_TRUE(c.ReadMessage(m));
            std::vector<uint8_t> body = Le32(0xCAFE);
            body.resize(100, 0x55);
            c.SendFragmented(0x01000D02, body, 16, 1);
            c.ReadMessage(m, 1000);
        },
        MakeGreeting(), {}, false);
    uint32_t value = 0;
    EXPECT_EQ(t.session->SendConfigCommand("x", 1, value), 0);
    EXPECT_EQ(value, 0xCAFEu);
}

}  // namespace
