// The link's threads: keep-alive, watchdog and receive thread, the broken
// link reported once, stalls, and closing while everything runs.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/link/SWL_TCPLink.h"
#include "tests/integration/link/LinkTestSupport.h"
#include "tests/support/HangGuard.h"

namespace {

using linktest::Bytes;
using linktest::Frame;
using linktest::Recorder;
using linktest::Text;
using std::chrono::milliseconds;

class TcpLinkThreads : public ::testing::Test {
protected:
    void Open(TcpLinkTimings timings) {
        ASSERT_NE(m_pair.link, SWL_INVALID_SOCKET);
        m_link.reset(CTcpLink::Create(m_pair.link, timings));
        ASSERT_NE(m_link, nullptr);
    }
    // A keep-alive interval long enough that no keep-alive frame comes
    // in the way unless the test wants one.
    static TcpLinkTimings Quiet() {
        TcpLinkTimings t;
        t.keepAliveIntervalMs = 60000;
        return t;
    }

    linktest::SocketPair m_pair;
    TcpLinkPtr m_link;
    Recorder m_recorder;
};

TEST_F(TcpLinkThreads, ReceiveThreadHandsEveryMessageToTheCallback) {
    Open(Quiet());
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    ASSERT_EQ(m_link->StartRecvThread(), 0);
    ASSERT_TRUE(linktest::WriteAll(
        m_pair.peer,
        linktest::Concat({Frame(Text("one")), linktest::EmptyFrame(),
                          linktest::Fragment(1, 2, 6, 1, 1, Text("two")),
                          linktest::Fragment(1, 2, 6, 2, 1, Text("TWO")), Frame(Text("three"))})));
    ASSERT_TRUE(m_recorder.WaitMessages(3));
    const auto messages = m_recorder.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], Text("one"));
    EXPECT_EQ(messages[1], Text("twoTWO"));
    EXPECT_EQ(messages[2], Text("three"));
    EXPECT_EQ(m_recorder.BrokenCount(), 0);
}

TEST_F(TcpLinkThreads, StartRecvThreadTwiceGivesOneTheSecondTime) {
    Open(Quiet());
    EXPECT_EQ(m_link->StartRecvThread(), 0);
    EXPECT_EQ(m_link->StartRecvThread(), 1);
}

TEST_F(TcpLinkThreads, LinkThreadsStartOnlyOnce) {
    Open(Quiet());
    EXPECT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    EXPECT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, true), 1);
}

TEST_F(TcpLinkThreads, KeepAliveSendsEmptyFrames) {
    TcpLinkTimings t;
    t.keepAliveIntervalMs = 20;
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    const Bytes got = linktest::ReadN(m_pair.peer, 24);
    EXPECT_EQ(got, linktest::Concat(
                       {linktest::EmptyFrame(), linktest::EmptyFrame(), linktest::EmptyFrame()}));
}

TEST_F(TcpLinkThreads, KeepAliveFramesNeverSplitAMessage) {
    TcpLinkTimings t;
    t.keepAliveIntervalMs = 1;
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    const Bytes payload(256 * 1024, 0x42);
    std::thread sender([&] {
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(m_link->SendMsg(payload.data(), static_cast<uint32_t>(payload.size())), 0);
        }
    });
    // Parse the stream: only empty frames and whole 256 KiB frames.
    int messages = 0;
    while (messages < 8) {
        const Bytes header = linktest::ReadN(m_pair.peer, 8);
        ASSERT_EQ(header.size(), 8u);
        ASSERT_EQ(Bytes(header.begin(), header.begin() + 4), Text("1111"));
        const uint32_t len = header[4] | (header[5] << 8) | (header[6] << 16) | (header[7] << 24);
        if (len == 0) {
            continue;
        }
        ASSERT_EQ(len, payload.size());
        ASSERT_EQ(linktest::ReadN(m_pair.peer, len), payload);
        ++messages;
    }
    sender.join();
}

TEST_F(TcpLinkThreads, PeerCloseIsReportedExactlyOnce) {
    Open(Quiet());
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    ASSERT_EQ(m_link->StartRecvThread(), 0);
    testing::internal::CaptureStderr();
    m_pair.ClosePeer();
    ASSERT_TRUE(m_recorder.WaitBroken());
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_link->IsBroken());
    EXPECT_EQ(m_recorder.BrokenLength(), -1);
    // Whatever else notices the break later, nobody reports it again.
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(m_link->RecvMsg(buffer, length, true, 50), 3);
    EXPECT_EQ(m_link->SendMsg("x", 1), -1);
    m_link.reset();
    EXPECT_EQ(m_recorder.BrokenCount(), 1);
}

TEST_F(TcpLinkThreads, PeerCloseFoundByTheKeepAliveAlone) {
    TcpLinkTimings t;
    t.keepAliveIntervalMs = 10;
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    testing::internal::CaptureStderr();
    m_pair.ClosePeer();
    ASSERT_TRUE(m_recorder.WaitBroken());
    testing::internal::GetCapturedStderr();
    m_link.reset();
    EXPECT_EQ(m_recorder.BrokenCount(), 1);
}

TEST_F(TcpLinkThreads, ProtocolErrorOnTheReceiveThreadBreaksTheLinkOnce) {
    Open(Quiet());
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    ASSERT_EQ(m_link->StartRecvThread(), 0);
    ASSERT_TRUE(linktest::WriteAll(m_pair.peer, Bytes{'2', '2', '2', '2', 0, 0, 0, 0}));
    ASSERT_TRUE(m_recorder.WaitBroken());
    EXPECT_TRUE(m_link->IsBroken());
    m_link.reset();
    EXPECT_EQ(m_recorder.BrokenCount(), 1);
}

// Sizes no device message comes near, in a frame header or a fragment
// header, after a message that still arrives: the receive thread refuses
// them before reading or keeping anything of that size, reports the broken
// link once, and the peer then sees the link closed.
TEST(TcpLinkHostileSizes, EndTheLinkOnceAndDeliverNothingMore) {
    const auto frameOf = [](uint32_t length) {
        Bytes header{'1', '1', '1', '1'};
        linktest::PutLe32(header, length);
        return header;
    };
    struct Row {
        const char* what;
        Bytes hostile;
    };
    const Row rows[] = {
        {"frame of 4 GiB - 2", frameOf(0xFFFFFFFEu)},
        {"frame of 2 GiB", frameOf(0x80000000u)},
        {"fragment total of 4 GiB - 16", linktest::Fragment(1, 2, 0xFFFFFFF0u, 1, 0, Bytes{})},
        {"fragment total of 2 GiB with its bytes following", linktest::Fragment(1, 2, 0x80000000u, 1, 1, Bytes(64, 1))},
        {"fragment length of 4 GiB - 16", linktest::Fragment(1, 2, 16, 1, 0, Bytes{}, 0xFFFFFFF0u)},
        {"fragment length of 2 GiB on a bad slot", linktest::Fragment(1, 1, 16, 1, 7, Bytes{}, 0x80000000u)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        linktest::SocketPair pair;
        ASSERT_NE(pair.link, SWL_INVALID_SOCKET);
        TcpLinkTimings timings;
        timings.keepAliveIntervalMs = 60000;
        TcpLinkPtr link(CTcpLink::Create(pair.link, timings));
        ASSERT_NE(link, nullptr);
        Recorder recorder;
        ASSERT_EQ(link->StartLinkThreads(&Recorder::Callback, &recorder, false), 0);
        ASSERT_EQ(link->StartRecvThread(), 0);
        ASSERT_TRUE(linktest::WriteAll(pair.peer, linktest::Concat({Frame(Text("before")), row.hostile,
                                                                     Frame(Text("after"))})));
        ASSERT_TRUE(recorder.WaitBroken());
        EXPECT_TRUE(link->IsBroken());
        link.reset();
        EXPECT_EQ(recorder.BrokenCount(), 1);
        const auto messages = recorder.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], Text("before"));
        // Closed: the peer reads the end of the stream (or a reset, since
        // what it sent after the hostile header was never read), not a wait.
        uint8_t byte = 0;
        ASSERT_EQ(linktest::PollIn(pair.peer, 10000), 1);
        const long r = linktest::RecvNow(pair.peer, &byte, 1);
        EXPECT_TRUE(r == 0 || (r < 0 && linktest::LastErrorIsReset())) << r;
    }
}

TEST_F(TcpLinkThreads, StalledPeerBreaksTheSendingLink) {
    TcpLinkTimings t = Quiet();
    t.stallLimitMs = 200;
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    // The peer never reads: far more than the socket buffers hold.
    const Bytes big(16 * 1024 * 1024, 1);
    EXPECT_EQ(m_link->SendMsg(big.data(), static_cast<uint32_t>(big.size())), -1);
    EXPECT_TRUE(m_link->IsBroken());
    ASSERT_TRUE(m_recorder.WaitBroken());
    m_link.reset();
    EXPECT_EQ(m_recorder.BrokenCount(), 1);
}

TEST_F(TcpLinkThreads, StoppingASendInsideAFrameBreaksTheLink) {
    Open(Quiet());
    const Bytes big(16 * 1024 * 1024, 1);
    std::atomic<bool> keepRunning{true};
    std::thread stopper([&] {
        // Once the first bytes are out (the peer reads nothing, so the rest
        // is stuck), stop the sender.
        linktest::PollIn(m_pair.peer, 10000);
        keepRunning.store(false);
    });
    EXPECT_EQ(m_link->SendMsg(big.data(), static_cast<uint32_t>(big.size()), &keepRunning), -1);
    stopper.join();
    EXPECT_TRUE(m_link->IsBroken());
}

TEST_F(TcpLinkThreads, StalledPeerBreaksTheReadingLink) {
    TcpLinkTimings t = Quiet();
    t.stallLimitMs = 100;
    Open(t);
    // A frame announced with 100 bytes, of which only 10 ever come.
    ASSERT_TRUE(linktest::WriteAll(
        m_pair.peer, linktest::Concat({Bytes{'1', '1', '1', '1', 100, 0, 0, 0}, Bytes(10, 1)})));
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(m_link->RecvMsg(buffer, length, false, 0), 3);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_TRUE(m_link->IsBroken());
}

TEST_F(TcpLinkThreads, WatchdogBreaksASilentLink) {
    TcpLinkTimings t;
    t.watchdogTickMs = 5;
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, true), 0);
    ASSERT_TRUE(m_recorder.WaitBroken());
    EXPECT_TRUE(m_link->IsBroken());
    // Watchdog mode sends no keep-alive frames.
    EXPECT_TRUE(linktest::ReadN(m_pair.peer, 1, 50).empty());
    m_link.reset();
    EXPECT_EQ(m_recorder.BrokenCount(), 1);
}

TEST_F(TcpLinkThreads, CloseWhileAllThreadsRun) {
    TcpLinkTimings t;
    t.keepAliveIntervalMs = 1;
    t.stallLimitMs = testsupport::kLongWaitMs;  // a Close that waited for a stall would hang
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    ASSERT_EQ(m_link->StartRecvThread(), 0);
    std::atomic<bool> stop{false};
    std::thread device([&] {
        // Keeps sending messages and swallowing keep-alives until the link goes.
        const Bytes frame = Frame(Bytes(1000, 9));
        while (!stop.load()) {
            if (!linktest::WriteAll(m_pair.peer, frame)) {
                break;
            }
            uint8_t sink[4096];
            while (linktest::RecvNow(m_pair.peer, sink, sizeof sink) > 0) {
            }
        }
    });
    ASSERT_TRUE(m_recorder.WaitMessages(20));
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging(
        "Close while every thread runs", [&] { m_link.reset(); },
        [&] {
            stop.store(true);
            linktest::ShutdownBoth(m_pair.peer);
        }));
    const size_t afterClose = m_recorder.Messages().size();
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(m_recorder.Messages().size(), afterClose);
    EXPECT_EQ(m_recorder.BrokenCount(), 0);  // closing is not reported
    stop.store(true);
    linktest::ShutdownBoth(m_pair.peer);
    device.join();
}

TEST_F(TcpLinkThreads, CloseStopsAThreadWaitingInALongRead) {
    TcpLinkTimings t = Quiet();
    t.stallLimitMs = testsupport::kLongWaitMs;  // the read gives up only when Close stops it
    Open(t);
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    ASSERT_EQ(m_link->StartRecvThread(), 0);
    // The receive thread is inside a frame that will never finish.
    ASSERT_TRUE(linktest::WriteAll(m_pair.peer, Bytes{'1', '1', '1', '1', 100, 0, 0, 0, 1, 2}));
    // Into the frame: the receive thread has taken the bytes sent so far.
    ASSERT_TRUE(linktest::WaitUntilRead(m_pair.link));
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging(
        "Close with the receive thread inside a frame", [&] { m_link.reset(); },
        [&] { linktest::ShutdownBoth(m_pair.peer); }));
    EXPECT_EQ(m_recorder.BrokenCount(), 0);
}

TEST_F(TcpLinkThreads, CloseRacingTheKeepAliveReportsAtMostOnce) {
    for (int i = 0; i < 30; ++i) {
        linktest::SocketPair pair;
        Recorder recorder;
        TcpLinkTimings t;
        t.keepAliveIntervalMs = 1;
        CTcpLink* link = CTcpLink::Create(pair.link, t);
        ASSERT_NE(link, nullptr);
        ASSERT_EQ(link->StartLinkThreads(&Recorder::Callback, &recorder, false), 0);
        ASSERT_EQ(link->StartRecvThread(), 0);
        testing::internal::CaptureStderr();
        pair.ClosePeer();  // the link breaks while Close runs, or just before
        if (i % 2 == 0) {
            std::this_thread::sleep_for(milliseconds(i % 5));
        }
        EXPECT_EQ(link->Close(), 0);
        testing::internal::GetCapturedStderr();
        EXPECT_LE(recorder.BrokenCount(), 1);
    }
}

TEST_F(TcpLinkThreads, WaitingReaderGetsTheFramesWhileTheReceiveThreadRuns) {
    Open(Quiet());
    ASSERT_EQ(m_link->StartLinkThreads(&Recorder::Callback, &m_recorder, false), 0);
    ASSERT_EQ(m_link->StartRecvThread(), 0);
    m_link->PauseRecvThread();
    ASSERT_TRUE(linktest::WriteAll(m_pair.peer, Frame(Text("reply"))));
    TcpLinkMessage reply;
    ASSERT_EQ(m_link->RecvMsg(reply, true, 5000), 0);
    EXPECT_EQ(Bytes(reply.data.get(), reply.data.get() + reply.length), Text("reply"));
    m_link->ResumeRecvThread();
    ASSERT_TRUE(linktest::WriteAll(m_pair.peer, Frame(Text("event"))));
    ASSERT_TRUE(m_recorder.WaitMessages(1));
    EXPECT_EQ(m_recorder.Messages()[0], Text("event"));
}

// An owner that closes the link from inside its callback (the lost-link
// report comes on the keep-alive thread, messages on the receive thread):
// the process goes on and the link is freed once that thread ends.
TEST_F(TcpLinkThreads, ClosingFromInsideTheCallbackIsSafe) {
    struct Owner {
        CTcpLink* link = nullptr;
        std::atomic<int> closes{0};
        static void Callback(void* user, uint8_t*, int) {
            auto* owner = static_cast<Owner*>(user);
            owner->link->Close();
            ++owner->closes;
        }
    };
    for (const bool onMessage : {false, true}) {
        SCOPED_TRACE(onMessage ? "receive thread" : "keep-alive thread");
        linktest::SocketPair pair;
        Owner owner;
        owner.link = CTcpLink::Create(pair.link, Quiet());
        ASSERT_NE(owner.link, nullptr);
        ASSERT_EQ(owner.link->StartLinkThreads(&Owner::Callback, &owner, false), 0);
        ASSERT_EQ(owner.link->StartRecvThread(), 0);
        if (onMessage) {
            ASSERT_TRUE(linktest::WriteAll(pair.peer, Frame(Text("bye"))));
        } else {
            pair.ClosePeer();
        }
        for (int i = 0; i < 1000 && owner.closes == 0; ++i) std::this_thread::sleep_for(milliseconds(10));
        EXPECT_EQ(owner.closes, 1);
        // The link's socket was closed: the peer sees the end.
        if (onMessage) {
            uint8_t byte;
            EXPECT_TRUE(linktest::PollIn(pair.peer, 10000) == 1 &&
                        linktest::RecvSome(pair.peer, &byte, 1) == 0);
        }
    }
}

}  // namespace
