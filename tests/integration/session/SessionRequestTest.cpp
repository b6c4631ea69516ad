// Requests, the dispatcher and progress against a scripted device.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <mutex>
#include <vector>

#include "SessionFixture.h"
#include <arpa/inet.h>
#include <netinet/in.h>

#include "common/platform/Clock.h"
#include "common/platform/NetworkPlatform.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

namespace {

using namespace testpeer;

// A logged-in session whose device runs `script` after the login.
struct LoggedIn {
    ScriptedDevice device;
    SessionPtr session;
    std::atomic<int> ownerCalls{0};
    std::atomic<int> linkLostCalls{0};
    std::mutex eventsMutex;
    std::vector<int> eventTypes;

    static int Owner(void* user, CNetDevice*, int type, int, const void*, uint32_t) {
        auto* self = static_cast<LoggedIn*>(user);
        ++self->ownerCalls;
        if (type == netevent::kLinkLost) ++self->linkLostCalls;
        std::lock_guard<std::mutex> lock(self->eventsMutex);
        self->eventTypes.push_back(type);
        return 0;
    }

    void Open(ScriptedDevice::Script script, SessionOptions options = {}, DeviceGreeting g = MakeGreeting()) {
        device.Start(&g, [script = std::move(script)](PeerConnection& c) {
            ASSERT_TRUE(AnswerLogin(c));
            script(c);
        });
        int error = -1;
        session = OpenSession(device, error, options, &LoggedIn::Owner, this);
        ASSERT_TRUE(session);
        NET_DEVICE_INFO info;
        ASSERT_EQ(session->Login("admin", "739164", info), 0);
    }
    ~LoggedIn() {
        session.reset();
        device.Join();
    }
};

// Waits for the session to see the request, so a scripted reply comes after it.
Message Expect(PeerConnection& c, uint32_t id) {
    Message m;
    EXPECT_TRUE(c.ReadMessage(m));
    EXPECT_EQ(m.id, id);
    return m;
}

TEST(SessionRequests, RefusalEndsOnlyTheRequestsThatEndOnRefusal) {
    LoggedIn t;
    t.Open([](PeerConnection& c) {
        // 0x0405 refused with reason 5 -> 2, reason 6 -> 3, other -> 4.
        for (uint32_t reason : {5u, 6u, 9u}) {
            Expect(c, proto::kReq0405);
            c.SendMessage(proto::kReplyRefused, [&] {
                std::vector<uint8_t> b = Le32(0);
                auto r = Le32(0);
                b.insert(b.end(), r.begin(), r.end());
                auto w = Le32(reason);
                b.insert(b.end(), w.begin(), w.end());
                return b;
            }());
        }
        Expect(c, proto::kReqAwaitCompletion);
        c.SendMessage(proto::kReplyFailed0508, {});
        Expect(c, proto::kReq0701);
        c.SendMessage(proto::kReplyFailed0702, {});
        // 0x0208 keeps waiting through a refusal and takes the answer after it.
        Expect(c, proto::kReq0208);
        c.SendMessage(proto::kReplyFailed0508, {});
        c.SendMessage(proto::kReply0206, {1, 2, 3});
        Message m;
        c.ReadMessage(m, 1000);
    });
    uint8_t buffer[16];
    uint32_t length = sizeof buffer;
    EXPECT_EQ(t.session->Request0405(buffer, length), 2);
    EXPECT_EQ(length, 0u);
    length = sizeof buffer;
    EXPECT_EQ(t.session->Request0405(buffer, length), 3);
    length = sizeof buffer;
    EXPECT_EQ(t.session->Request0405(buffer, length), 4);
    EXPECT_EQ(t.session->AwaitCompletion(), 15);
    EXPECT_EQ(t.session->Request0701(), 12);
    uint8_t* reply = nullptr;
    uint32_t replyLength = 0;
    EXPECT_EQ(t.session->Request0208(reply, replyLength), 0);
    ASSERT_EQ(replyLength, 3u);
    EXPECT_EQ(reply[2], 3);
    CNetDVSDevice::FreeReply(reply);
}

TEST(SessionRequests, AnsweredRequestsCopyTheirReplyWithinTheCallersBuffer) {
    LoggedIn t;
    t.Open([](PeerConnection& c) {
        Expect(c, proto::kReq0405);
        c.SendMessage(proto::kReply0405, std::vector<uint8_t>(40, 0xAB));
        Expect(c, proto::kReq0407);
        c.SendMessage(proto::kReply0401, {9, 8, 7, 6});
        Expect(c, proto::kReq0212);
        c.SendMessage(proto::kReplyValueC0B, Le32(0x1234));
        Message m;
        c.ReadMessage(m, 1000);
    });
    uint8_t buffer[16] = {};
    uint32_t length = sizeof buffer;
    EXPECT_EQ(t.session->Request0405(buffer, length), 0);
    EXPECT_EQ(length, 16u);  // cut to the caller's buffer
    EXPECT_EQ(buffer[15], 0xAB);
    uint8_t* reply = nullptr;
    uint32_t replyLength = 0;
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(t.session->Transact0407(data, sizeof data, reply, replyLength), 0);
    ASSERT_EQ(replyLength, 4u);
    EXPECT_EQ(reply[0], 9);
    CNetDVSDevice::FreeReply(reply);
    uint32_t value = 0;
    EXPECT_EQ(t.session->Request0212(data, sizeof data, value), 0);
    EXPECT_EQ(value, 0x1234u);
}

TEST(SessionRequests, PollLimitedRequestsGiveUpAndUnknownMessagesChangeNothing) {
    LoggedIn t;
    t.Open([](PeerConnection& c) {
        Expect(c, proto::kReq020E);
        c.SendMessage(0x01007777, {1, 2, 3, 4});  // unknown: ignored
        c.SendMessage(proto::kReplyHttp, {});     // not dispatched
        Message m;
        c.ReadMessage(m, 5000);
    });
    uint8_t* reply = nullptr;
    uint32_t replyLength = 0;
    EXPECT_EQ(t.session->Request020E(reply, replyLength), session::kNoAnswer);  // after 3000 ms
    EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(t.session->RequestState(), 1);  // still waiting: nothing answered
    EXPECT_EQ(t.ownerCalls.load(), 0);
}

TEST(SessionRequests, ALostLinkWakesTheWaitingRequestAndTellsTheOwnerOnce) {
    LoggedIn t;
    t.Open([](PeerConnection& c) {
        Expect(c, proto::kReq0208);
        c.Close();
    });
    uint8_t* reply = nullptr;
    uint32_t replyLength = 0;
    EXPECT_EQ(t.session->Request0208(reply, replyLength), session::kLinkFailed);
    EXPECT_EQ(t.session->GetStatus(), 4);
    EXPECT_EQ(t.session->Request0701(), session::kLinkFailed);  // the link is gone: the send fails
    int percent = 0;
    int extra = 0;
    EXPECT_EQ(t.session->PollUpgradeProgress(percent, 100, extra), session::kLinkFailed);
    t.session.reset();
    EXPECT_EQ(t.linkLostCalls.load(), 1);
}

// Releasing a session while its worker waits on a device that stays
// silent: the release breaks the link, the wait ends at once as a lost
// link (not after its own limit, up to 120 s) and the session goes away
// only after the worker has left it. Covers a counted request, an event
// wait and a synchronous read.
TEST(SessionRequests, ReleaseEndsEveryWaitAndWaitsForTheWaiter) {
    struct Case {
        uint32_t request;
        std::function<int(CNetDVSDevice&)> call;
    };
    const Case cases[] = {
        {proto::kReq0405,
         [](CNetDVSDevice& s) {
             uint8_t buffer[8];
             uint32_t length = sizeof buffer;
             return s.Request0405(buffer, length);
         }},
        {proto::kReq0206,
         [](CNetDVSDevice& s) {
             uint8_t block[260];
             return s.Request0206(block);
         }},
        {proto::kReqHttp,
         [](CNetDVSDevice& s) {
             std::string text;
             uint32_t length = 0;
             return s.HttpRequest("GetDeviceInfo", text, length, nullptr, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        LoggedIn t;
        std::promise<void> seen;
        t.Open([&](PeerConnection& peer) {
            Expect(peer, c.request);
            seen.set_value();
            Message m;
            while (peer.ReadMessage(m, 60000)) {
            }
        });
        CNetDVSDevice* session = t.session.get();
        std::promise<int> result;
        std::thread worker([&] { result.set_value(c.call(*session)); });
        ASSERT_EQ(seen.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
        t.session.reset();  // returns only once the worker has left the session
        worker.join();
        EXPECT_EQ(result.get_future().get(), session::kLinkFailed);  // 0x0405 would time out as 15
        EXPECT_EQ(t.linkLostCalls.load(), 0);  // a deliberate release is no lost link
    }
}

TEST(SessionRequests, StreamsAreCountedPerChannelAndKind) {
    LoggedIn t;
    std::vector<uint32_t> ids;
    t.Open([&](PeerConnection& c) {
        Message m;
        while (c.ReadMessage(m, 1000)) ids.push_back(m.id);
    });
    EXPECT_EQ(t.session->CloseStream(1, 0), session::kNoAnswer);  // never opened
    EXPECT_EQ(t.session->OpenStream(1, 0), 0);
    EXPECT_EQ(t.session->OpenStream(1, 0), 0);  // counted, asks for the stream again
    EXPECT_EQ(t.session->OpenStream(2, 0), 0);
    EXPECT_EQ(t.session->CloseStream(1, 0), 0);
    EXPECT_EQ(t.session->CloseStream(1, 0), 0);  // the last close sends
    EXPECT_EQ(t.session->CloseStream(1, 0), session::kNoAnswer);
    t.session.reset();
    t.device.Join();
    const std::vector<uint32_t> expected = {proto::kReqOpenStream, proto::kReqStreamControl, proto::kReqOpenStream,
                                            proto::kReqCloseStream};
    EXPECT_EQ(ids, expected);
}

TEST(SessionRequests, EventsReachTheOwnerWithTheirTypes) {
    LoggedIn t;
    std::atomic<bool> sent{false};
    t.Open([&](PeerConnection& c) {
        c.SendMessage(proto::kEventB01, {1, 0, 0, 0, 2, 0, 0, 0});
        c.SendMessage(proto::kEvent2009, {});
        c.SendMessage(proto::kEvent3004, {});
        c.SendMessage(proto::kEventD05, {});
        std::vector<uint8_t> frame(40 + 8, 0);
        frame[32] = 8;  // frame length
        c.SendMessage(proto::kEventMediaFrame, frame);
        c.SendMessage(proto::kReq0205 | 0x01000000, {});  // unknown to the dispatcher
        sent = true;
        Message m;
        c.ReadMessage(m, 1000);
    });
    // The owner may hear of the events before the device's thread notes
    // that it sent them: wait for both.
    for (int i = 0; i < 5000 && (t.ownerCalls < 5 || !sent); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(sent);
    t.session.reset();  // closing the link waits for the dispatcher
    const std::vector<int> expected = {netevent::kAlarm, 10, 13, 18, netevent::kMediaFrame, netevent::kLinkLost};
    std::lock_guard<std::mutex> lock(t.eventsMutex);
    // The link may or may not be reported lost while closing: compare the events before it.
    std::vector<int> got(t.eventTypes.begin(), t.eventTypes.end());
    if (!got.empty() && got.back() == netevent::kLinkLost) got.pop_back();
    EXPECT_EQ(got, std::vector<int>(expected.begin(), expected.end() - 1));
}

// ---- progress ------------------------------------------------------------

std::vector<uint8_t> Word(uint32_t v) { return Le32(v); }

TEST(SessionProgress, SameValueTwiceThenFailure) {
    LoggedIn t;
    std::atomic<int> step{0};
    t.Open([&](PeerConnection& c) {
        c.SendMessage(proto::kReplyProgress0506, Word(11));
        while (step < 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        c.SendMessage(proto::kReplyProgress0506, Word(11));
        while (step < 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        c.SendMessage(proto::kReplyProgress0505, {});
        Message m;
        c.ReadMessage(m, 2000);
    });
    int percent = -5;
    int extra = 0;
    while (t.session->PollUpgradeProgress(percent, 1000, extra) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(percent, 10);
    step = 1;
    EXPECT_EQ(t.session->PollUpgradeProgress(percent, 1000, extra), session::kNothingNew);
    step = 2;
    int r = session::kNothingNew;
    for (int i = 0; i < 2000 && r == session::kNothingNew; ++i) {
        r = t.session->PollUpgradeProgress(percent, 1000, extra);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(r, session::kDeviceFailed);
}

// Drives the final phase with a manual clock: after 98 the window is 140 s
// below 0xC00000 bytes of payload and 240 s from there; extra climbs 1..10,
// each value once.
void FinalPhase(uint32_t payload, uint64_t window) {
    platform::ManualClock clock;
    SessionOptions options;
    options.clock = &clock;
    LoggedIn t;
    std::atomic<bool> go{false};
    t.Open(
        [&](PeerConnection& c) {
            c.SendMessage(proto::kReplyProgressA04, Word(99));  // percentage 98
            while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            Message m;
            c.ReadMessage(m, 2000);
        },
        options);
    int percent = 0;
    int extra = 0;
    while (t.session->PollUpgradeProgress(percent, payload, extra) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(percent, 98);
    EXPECT_TRUE(t.session->ReachedFinalPhase());
    std::vector<int> extras;
    const uint64_t step = window / 20;
    for (uint64_t elapsed = 0; elapsed <= window; elapsed += step) {
        EXPECT_EQ(t.session->PollUpgradeProgress(percent, payload, extra), session::kNothingNew);
        if (extra != 0) extras.push_back(extra);
        clock.Advance(step);
    }
    // Just past the window: taken as done.
    clock.Advance(1);
    int r = t.session->PollUpgradeProgress(percent, payload, extra);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(percent, 99);
    EXPECT_EQ(extras, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    go = true;
}

TEST(SessionProgress, FinalPhaseWindowIs140SecondsBelowTwelveMebibytes) { FinalPhase(0xBFFFFF, 140000); }

TEST(SessionProgress, FinalPhaseWindowIs240SecondsFromTwelveMebibytes) { FinalPhase(0xC00000, 240000); }

TEST(SessionProgress, TheWindowDoesNotEndEarly) {
    platform::ManualClock clock;
    SessionOptions options;
    options.clock = &clock;
    LoggedIn t;
    std::atomic<bool> go{false};
    t.Open(
        [&](PeerConnection& c) {
            c.SendMessage(proto::kReplyProgressA04, Word(99));
            while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            Message m;
            c.ReadMessage(m, 2000);
        },
        options);
    int percent = 0;
    int extra = 0;
    while (t.session->PollUpgradeProgress(percent, 0xBFFFFF, extra) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(t.session->PollUpgradeProgress(percent, 0xBFFFFF, extra), session::kNothingNew);  // starts the window
    clock.Advance(140000);
    EXPECT_EQ(t.session->PollUpgradeProgress(percent, 0xBFFFFF, extra), session::kNothingNew);  // exactly at its end
    EXPECT_EQ(extra, 10);
    clock.Advance(1);
    EXPECT_EQ(t.session->PollUpgradeProgress(percent, 0xBFFFFF, extra), 0);
    EXPECT_EQ(percent, 99);
    go = true;
}

TEST(SessionProgress, UpgradeDataGoesOutWithTheCommandOfItsKind) {
    LoggedIn t;
    std::vector<uint32_t> ids;
    t.Open([&](PeerConnection& c) {
        Message m;
        while (c.ReadMessage(m, 1000)) ids.push_back(m.id);
    });
    const uint8_t piece[8] = {0, 0, 0, 1, 1, 2, 3, 4};
    for (int kind = 0; kind < 4; ++kind) EXPECT_EQ(t.session->SendUpgradeData(piece, sizeof piece, kind), 0);
    EXPECT_EQ(t.session->SendUpgradeData(piece, sizeof piece, 4), session::kNotSupported);
    t.session.reset();
    t.device.Join();
    EXPECT_EQ(ids, (std::vector<uint32_t>{0x0A02, 0x0801, 0x0802, 0x0805}));
}

}  // namespace

namespace {

using namespace testpeer;

struct FrameSink {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<NET_FRAME_RECORD> records;
    static int Owner(void* user, CNetDevice*, int type, int, const void* data, uint32_t) {
        if (type != netevent::kMediaFrame) return 0;
        auto* self = static_cast<FrameSink*>(user);
        const auto* r = static_cast<const NET_FRAME_RECORD*>(data);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->frames.emplace_back(r->frame, r->frame + r->frameBytes);
        self->records.push_back(*r);
        return 0;
    }
};

std::vector<uint8_t> FrameBody(uint8_t frameClass, uint8_t marker, const std::vector<uint8_t>& frame) {
    std::vector<uint8_t> body(40 + frame.size(), 0);
    body[0] = frameClass;
    body[3] = marker;
    const uint64_t ts = 5'000'123ull;  // microseconds
    for (int i = 0; i < 4; ++i) body[16 + static_cast<size_t>(i)] = static_cast<uint8_t>(ts >> (8 * i));
    const auto length = static_cast<uint32_t>(frame.size());
    for (int i = 0; i < 4; ++i) body[32 + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
    std::copy(frame.begin(), frame.end(), body.begin() + 40);
    return body;
}

// Marked frames of an encrypted session have their first bytes decrypted
// with the session key; the vector is the openssl-made ciphertext of a known
// text (tests/data/session/make_http_vectors.sh).
TEST(SessionMediaFrames, MarkedFramesAreDecryptedWithTheSessionKey) {
    const std::vector<uint8_t> cipher = FromHex(DataField("http_vectors.txt", "reply200_cipher", 1));
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting(3, 0, 123456, true);
    device.Start(&g, [&](PeerConnection& c) {
        ASSERT_TRUE(AnswerLogin(c));
        c.SendMessage(proto::kEventMediaFrame, FrameBody(0, 1, cipher));  // marked
        c.SendMessage(proto::kEventMediaFrame, FrameBody(0, 0, cipher));  // not marked
        c.SendMessage(proto::kEventMediaFrame, FrameBody(1, 0, cipher));  // class 1: always
        Message m;
        c.ReadMessage(m, 3000);
    });
    FrameSink sink;
    int error = -1;
    SessionPtr s = OpenSession(device, error, {}, &FrameSink::Owner, &sink);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    ASSERT_EQ(s->Login("admin", "739164", info), 0);
    for (int i = 0; i < 5000; ++i) {
        {
            std::lock_guard<std::mutex> lock(sink.mutex);
            if (sink.frames.size() == 3) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    s.reset();
    device.Join();
    std::lock_guard<std::mutex> lock(sink.mutex);
    ASSERT_EQ(sink.frames.size(), 3u);
    const std::string text = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sink.frames[0].data()), text.size()), text);
    EXPECT_EQ(sink.frames[1], cipher);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sink.frames[2].data()), text.size()), text);
    EXPECT_EQ(sink.records[0].frameLength, 48u);
    EXPECT_EQ(sink.records[0].seconds, 5u);
    EXPECT_EQ(sink.records[0].timestampUs, 5'000'123u);
}

// The login carries the hardware address of the adapter that holds the
// session's own local address.
TEST(SessionCreate, TheLoginCarriesTheLocalAdaptersHardwareAddress) {
    struct FakeNetwork : platform::NetworkPlatform {
        int GetAdapters(std::vector<platform::AdapterInfo>& adapters) override {
            platform::AdapterInfo a;
            a.name = "eth9";
            a.index = 9;
            a.hardwareAddress = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
            a.addresses.push_back({htonl(INADDR_LOOPBACK), htonl(0xFF000000)});
            a.up = a.running = true;
            adapters = {a};
            return platform::kNetOk;
        }
        bool IsNetworkAlive() override { return true; }
        int AddIPAddress(uint32_t, uint32_t, uint32_t) override { return platform::kNetOk; }
        int AddRoute(const platform::Ipv4Route&) override { return platform::kNetOk; }
        bool IsPhysicalAdapter(const std::string&) override { return true; }
    } fake;
    platform::ScopedNetwork scoped(fake);
    ScriptedDevice device;
    const DeviceGreeting g = MakeGreeting();
    Message request;
    device.Start(&g, [&](PeerConnection& c) { AnswerLogin(c, &request); });
    int error = -1;
    SessionPtr s = OpenSession(device, error);
    ASSERT_TRUE(s);
    NET_DEVICE_INFO info;
    ASSERT_EQ(s->Login("admin", "739164", info), 0);
    s.reset();
    device.Join();
    ASSERT_EQ(request.body.size(), 116u);
    EXPECT_EQ(std::vector<uint8_t>(request.body.begin() + 104, request.body.begin() + 110),
              (std::vector<uint8_t>{0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
}

}  // namespace
