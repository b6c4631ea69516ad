// Reading frames and putting fragmented messages together, over a real
// socket pair with the test playing the device.

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "common/link/SWL_TCPLink.h"
#include "tests/integration/link/LinkTestSupport.h"
#include "tests/support/HangGuard.h"

namespace {

using linktest::Bytes;
using linktest::Concat;
using linktest::EmptyFrame;
using linktest::Fragment;
using linktest::Frame;
using linktest::Text;

struct Received {
    int result = -1;
    Bytes message;
};

class TcpLinkFrames : public ::testing::Test {
protected:
    void Open(TcpLinkTimings timings = {}) {
        ASSERT_NE(m_pair.link, SWL_INVALID_SOCKET);
        m_link.reset(CTcpLink::Create(m_pair.link, timings));
        ASSERT_NE(m_link, nullptr);
    }
    void SetUp() override { Open(); }

    void Send(const Bytes& bytes) { ASSERT_TRUE(linktest::WriteAll(m_pair.peer, bytes)); }

    // One non-waiting read, after the bytes are surely in the socket.
    Received Recv(bool wait = false, uint32_t maxWaitMs = 0) {
        Received r;
        TcpLinkMessage msg;
        r.result = m_link->RecvMsg(msg, wait, maxWaitMs);
        if (r.result == 0) {
            r.message.assign(msg.data.get(), msg.data.get() + msg.length);
        } else {
            EXPECT_EQ(msg.data, nullptr);
            EXPECT_EQ(msg.length, 0u);
        }
        return r;
    }

    // A whole frame sent after a dropped one must still come out intact:
    // the link read exactly the dropped frame's bytes.
    void ExpectInSync() {
        Send(Frame(Text("sentinel")));
        const Received r = Recv();
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.message, Text("sentinel"));
    }

    linktest::SocketPair m_pair;
    TcpLinkPtr m_link;
};

TEST_F(TcpLinkFrames, WholeFramesArriveOneMessageEach) {
    // Hand-made frame: "1111", length 5 little-endian, payload.
    Send(Bytes{'1', '1', '1', '1', 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'});
    Send(Frame(Bytes(300, 0xAB)));
    Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("hello"));
    r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Bytes(300, 0xAB));
    EXPECT_EQ(Recv().result, 1);  // nothing more
    EXPECT_FALSE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, RawBufferInterfaceHandsOverAnExactSizeBuffer) {
    Send(Frame(Text("abc")));
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(m_link->RecvMsg(buffer, length, false, 0), 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(Bytes(buffer, buffer + length), Text("abc"));
    CTcpLink::FreeMsg(buffer);
}

TEST_F(TcpLinkFrames, EmptyFrameIsConsumedAsNoMessage) {
    Send(Concat({EmptyFrame(), EmptyFrame(), Frame(Text("x"))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    const Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("x"));
}

TEST_F(TcpLinkFrames, WaitingReadSkipsEmptyFramesAndWaitsForALateMessage) {
    Send(Concat({EmptyFrame(), EmptyFrame()}));
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        linktest::WriteAll(m_pair.peer, Frame(Text("late")));
    });
    const Received r = Recv(true, 10000);
    late.join();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("late"));
}

TEST_F(TcpLinkFrames, WaitingReadGivesUpAfterItsMaximum) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Recv(true, 100).result, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_FALSE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, WaitingWithMaximumZeroDoesNotWait) {
    EXPECT_EQ(Recv(true, 0).result, 1);
}

TEST_F(TcpLinkFrames, ThreeFragmentsYieldNoMessageTwiceThenTheWhole) {
    const Bytes whole = Text("first-second-third");
    Send(
        Concat({Fragment(7, 3, 18, 1, 0, Text("first-")), Fragment(7, 3, 18, 2, 0, Text("second-")),
                Fragment(7, 3, 18, 3, 0, Text("third"))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    const Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, whole);
    ExpectInSync();
}

TEST_F(TcpLinkFrames, IncompleteMessageReturnsAtOnceEvenWhenWaiting) {
    Send(Fragment(1, 2, 4, 1, 0, Text("ab")));
    // A day's maximum: a read that waited for the rest would hang.
    Received first;
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging(
        "a waiting read of a message still incomplete",
        [&] { first = Recv(true, testsupport::kLongWaitMs); }, [&] { m_link->Abort(); }));
    EXPECT_EQ(first.result, 1);
    Send(Fragment(1, 2, 4, 2, 0, Text("cd")));
    const Received r = Recv(true, 10000);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("abcd"));
}

TEST_F(TcpLinkFrames, SingleFragmentMessage) {
    Send(Fragment(9, 1, 3, 1, 1, Text("one")));
    const Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("one"));
}

TEST_F(TcpLinkFrames, FirstFragmentOnBusySlotStartsOver) {
    Send(Concat({Fragment(1, 3, 9, 1, 0, Text("AAA")),  // message 1, left unfinished
                 Fragment(2, 2, 4, 1, 0, Text("BB")),   // message 2 takes the slot
                 Fragment(2, 2, 4, 2, 0, Text("bb")),
                 Fragment(1, 3, 9, 2, 0, Text("aaa"))}));  // message 1 is gone
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    const Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("BBbb"));
    EXPECT_EQ(Recv().result, 1);  // the orphan is read and dropped
    ExpectInSync();
}

TEST_F(TcpLinkFrames, MismatchedFragmentsAreDroppedAndTheSlotKept) {
    Send(Fragment(5, 3, 9, 1, 0, Text("abc")));
    EXPECT_EQ(Recv().result, 1);
    Send(Concat({Fragment(6, 3, 9, 2, 0, Text("XXX")),     // other identifier
                 Fragment(5, 3, 10, 2, 0, Text("XXX")),    // other total
                 Fragment(5, 4, 9, 2, 0, Text("XXX"))}));  // other count
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Recv().result, 1) << i;
    }
    // The half-built message survived and completes normally.
    Send(Concat({Fragment(5, 3, 9, 2, 0, Text("def")), Fragment(5, 3, 9, 3, 0, Text("ghi"))}));
    EXPECT_EQ(Recv().result, 1);
    const Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("abcdefghi"));
}

TEST_F(TcpLinkFrames, LaterFragmentOnAFreeSlotIsDropped) {
    // Also after a message completed on that slot with the same numbers.
    Send(Concat({Fragment(3, 2, 2, 1, 1, Text("a")), Fragment(3, 2, 2, 2, 1, Text("b"))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 0);
    Send(Fragment(3, 2, 2, 2, 1, Text("c")));
    EXPECT_EQ(Recv().result, 1);
    ExpectInSync();
}

TEST_F(TcpLinkFrames, SlotOutOfRangeIsDroppedWithoutTouchingTheSlots) {
    Send(Concat({Fragment(1, 2, 6, 1, 0, Text("abc")), Fragment(2, 2, 6, 1, 1, Text("ABC"))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    Send(
        Concat({Fragment(1, 2, 6, 2, 2, Text("zzz")), Fragment(1, 1, 3, 1, 0xFFFFFFFF, Text("zzz")),
                Fragment(2, 2, 6, 2, 7, Text("zzz"))}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Recv().result, 1) << i;
    }
    Send(Concat({Fragment(1, 2, 6, 2, 0, Text("def")), Fragment(2, 2, 6, 2, 1, Text("DEF"))}));
    Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("abcdef"));
    r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("ABCDEF"));
}

TEST_F(TcpLinkFrames, FragmentRunningPastTheTotalIsDroppedAndTheSlotCleared) {
    Send(Concat({Fragment(4, 3, 6, 1, 0, Text("abc")),
                 Fragment(4, 3, 6, 2, 0, Text("defg"))}));  // 3 + 4 > 6
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    // The half-built message is gone: its next fragment no longer matches.
    Send(Fragment(4, 3, 6, 3, 0, Text("")));
    EXPECT_EQ(Recv().result, 1);
    // A first fragment longer than its total is dropped the same way.
    Send(Fragment(8, 1, 2, 1, 1, Text("toolong")));
    EXPECT_EQ(Recv().result, 1);
    ExpectInSync();
}

TEST_F(TcpLinkFrames, MalformedNumberingIsDroppedAndClearsTheSlot) {
    struct Case {
        uint32_t count;
        uint32_t number;
        uint32_t total;
    };
    const Case cases[] = {{0, 1, 3}, {0, 0, 3}, {3, 0, 3}, {3, 4, 3}, {2, 1, 0}};
    for (const Case& c : cases) {
        Send(Fragment(1, 2, 4, 1, 0, Text("ab")));
        EXPECT_EQ(Recv().result, 1);
        Send(Fragment(1, c.count, c.total, c.number, 0, Text("xyz")));
        EXPECT_EQ(Recv().result, 1) << c.count << " " << c.number << " " << c.total;
        // Slot 0 was cleared: the old message's last fragment is an orphan.
        Send(Fragment(1, 2, 4, 2, 0, Text("cd")));
        EXPECT_EQ(Recv().result, 1);
    }
    ExpectInSync();
}

TEST_F(TcpLinkFrames, LastFragmentWithBytesMissingDeliversNothing) {
    Send(Concat({Fragment(1, 2, 10, 1, 0, Text("abc")), Fragment(1, 2, 10, 2, 0, Text("de"))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    ExpectInSync();
}

TEST_F(TcpLinkFrames, TwoMessagesInterleavedOnSlotsZeroAndOne) {
    Send(Concat({Fragment(10, 3, 9, 1, 0, Text("aaa")), Fragment(20, 2, 4, 1, 1, Text("BB")),
                 Fragment(10, 3, 9, 2, 0, Text("bbb")), Fragment(20, 2, 4, 2, 1, Text("CC")),
                 Fragment(10, 3, 9, 3, 0, Text("ccc"))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 1);
    Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("BBCC"));
    r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Text("aaabbbccc"));
}

TEST_F(TcpLinkFrames, WrongMagicIsAProtocolErrorWithoutBreakingTheLink) {
    Send(Bytes{'1', '1', '1', '2', 1, 0, 0, 0, 'x'});
    EXPECT_EQ(Recv().result, 3);
    EXPECT_FALSE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, LengthAboveTheLimitIsAProtocolErrorWithNothingAllocated) {
    // With the real limit: a length this large would be a 4 GiB allocation,
    // which the sanitizer builds would report.
    Send(Bytes{'1', '1', '1', '1', 0xFE, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Recv().result, 3);
    linktest::Bytes justAbove{'1', '1', '1', '1'};
    linktest::PutLe32(justAbove, tcplink::kMaxMessageLength + 1);
    Send(justAbove);
    EXPECT_EQ(Recv().result, 3);
    EXPECT_FALSE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, FragmentTotalOrLengthAboveTheLimitIsAProtocolError) {
    Send(Fragment(1, 2, 0xFFFFFFF0, 1, 0, Bytes{}));
    EXPECT_EQ(Recv().result, 3);
    Send(Fragment(1, 2, 16, 1, 0, Bytes{}, 0xFFFFFFF0));
    EXPECT_EQ(Recv().result, 3);
}

class TcpLinkSmallLimit : public TcpLinkFrames {
protected:
    void SetUp() override {
        TcpLinkTimings timings;
        timings.maxMessageLength = 1024;
        Open(timings);
    }
};

TEST_F(TcpLinkSmallLimit, MessageAtTheLimitPassesOneAboveFails) {
    Send(Frame(Bytes(1024, 7)));
    Received r = Recv();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message.size(), 1024u);
    Send(Concat(
        {Fragment(1, 2, 1024, 1, 0, Bytes(512, 1)), Fragment(1, 2, 1024, 2, 0, Bytes(512, 2))}));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_EQ(Recv().result, 0);
    Send(Frame(Bytes(1025, 7)));
    EXPECT_EQ(Recv().result, 3);
}

TEST_F(TcpLinkSmallLimit, FragmentTotalOneAboveTheLimitFails) {
    Send(Fragment(1, 2, 1025, 1, 0, Bytes(10, 1)));
    EXPECT_EQ(Recv().result, 3);
}

TEST_F(TcpLinkSmallLimit, TheOwnerNarrowsAndWidensTheLimitUpToTheCeiling) {
    m_link->SetMaxMessageLength(0xFFFFFFFF);
    EXPECT_EQ(m_link->MaxMessageLength(), tcplink::kMaxMessageLength);
    Send(Frame(Bytes(5000, 7)));  // above the link's starting limit of 1024
    EXPECT_EQ(Recv().result, 0);
    m_link->SetMaxMessageLength(100);
    Send(Frame(Bytes(101, 7)));
    EXPECT_EQ(Recv().result, 3);
}

// A fragment header may claim tens of mebibytes: memory follows the bytes
// that arrive, not the claim, and the message still comes out whole.
TEST_F(TcpLinkFrames, AClaimedTotalCostsNothingUntilItsBytesArrive) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators do not report heap use";
#elif defined(_WIN32)
    GTEST_SKIP() << "Windows' C library does not report heap use (mallinfo2)";
#else
    constexpr uint32_t kTotal = 48u * 1024 * 1024;
    const size_t before = mallinfo2().uordblks;
    Send(Fragment(9, 2, kTotal, 1, 0, Bytes(100, 1)));
    EXPECT_EQ(Recv().result, 1);
    EXPECT_LT(mallinfo2().uordblks - before, 1u * 1024 * 1024);
    Bytes rest(kTotal - 100, 2);
    rest.back() = 3;
    std::thread writer([&] { linktest::WriteAll(m_pair.peer, Fragment(9, 2, kTotal, 2, 0, rest)); });
    const Received r = Recv(true, 60000);
    writer.join();
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(r.message.size(), kTotal);
    EXPECT_EQ(r.message[99], 1);
    EXPECT_EQ(r.message[100], 2);
    EXPECT_EQ(r.message.back(), 3);
#endif
}

TEST_F(TcpLinkFrames, MessageArrivingInPiecesIsPutTogether) {
    const Bytes frame = Frame(Bytes(100000, 0x5A));
    std::thread writer([this, &frame] {
        for (size_t i = 0; i < frame.size(); i += 7777) {
            const size_t n = std::min<size_t>(7777, frame.size() - i);
            linktest::WriteAll(m_pair.peer, Bytes(frame.begin() + i, frame.begin() + i + n));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const Received r = Recv(true, 10000);
    writer.join();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.message, Bytes(100000, 0x5A));
}

TEST_F(TcpLinkFrames, PeerCloseGivesTwoAndBreaksTheLink) {
    m_pair.ClosePeer();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Recv().result, 2);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("..\\Common\\SWL_TCPLink 669 "), std::string::npos) << err;
    EXPECT_TRUE(m_link->IsBroken());
    EXPECT_EQ(Recv().result, 3);  // broken: fails at once
    EXPECT_EQ(m_link->SendMsg("x", 1), -1);
}

TEST_F(TcpLinkFrames, PeerCloseInsideAFrameGivesTwo) {
    Send(Bytes{'1', '1', '1', '1', 10, 0, 0, 0, 'a', 'b'});
    m_pair.ClosePeer();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Recv().result, 2);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, SendMsgWritesOneFrame) {
    ASSERT_EQ(m_link->SendMsg("hello", 5), 0);
    EXPECT_EQ(linktest::ReadN(m_pair.peer, 13),
              (Bytes{'1', '1', '1', '1', 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'}));
    // A head and a body leave as one frame; either may be empty.
    ASSERT_EQ(m_link->SendMsg("he", 2, "llo", 3), 0);
    ASSERT_EQ(m_link->SendMsg(nullptr, 0, "hello", 5), 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(linktest::ReadN(m_pair.peer, 13),
                  (Bytes{'1', '1', '1', '1', 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'}));
    }
    EXPECT_EQ(m_link->SendMsg(nullptr, 1, "x", 1), -1);
    ASSERT_EQ(m_link->SendKeepAlive(), 0);
    EXPECT_EQ(linktest::ReadN(m_pair.peer, 8), EmptyFrame());
    const Bytes big(3 * 1024 * 1024 + 17, 0xC3);
    std::thread sender([this, &big] {
        EXPECT_EQ(m_link->SendMsg(big.data(), static_cast<uint32_t>(big.size())), 0);
    });
    const Bytes got = linktest::ReadN(m_pair.peer, big.size() + 8, 30000);
    sender.join();
    ASSERT_EQ(got.size(), big.size() + 8);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 8), (Bytes{'1', '1', '1', '1', 0x11, 0, 0x30, 0}));
    EXPECT_TRUE(std::equal(big.begin(), big.end(), got.begin() + 8));
}

TEST_F(TcpLinkFrames, SendMsgRefusesTheFragmentMarkerAndStopsOnKeepRunning) {
    EXPECT_EQ(m_link->SendMsg("x", 0xFFFFFFFF), -1);
    std::atomic<bool> keepRunning{false};
    EXPECT_EQ(m_link->SendMsg("x", 1, &keepRunning), -1);
    EXPECT_FALSE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, SendToAClosedPeerFailsWithoutKillingTheProcess) {
    m_pair.ClosePeer();
    testing::internal::CaptureStderr();
    // A TCP stack may take what it can buffer until the peer's reset is back.
    int sent = 0;
    for (int i = 0; i < 500 && (sent = m_link->SendMsg("hello", 5)) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(sent, -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("..\\Common\\SWL_TCPLink 300 "), std::string::npos) << err;
    EXPECT_TRUE(m_link->IsBroken());
}

TEST_F(TcpLinkFrames, RecvExactReadsAnUnframedBlock) {
    Bytes greeting(64);
    for (size_t i = 0; i < greeting.size(); ++i)
        greeting[i] = static_cast<uint8_t>(i);
    std::thread writer([this, &greeting] {
        linktest::WriteAll(m_pair.peer, Bytes(greeting.begin(), greeting.begin() + 20));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        linktest::WriteAll(m_pair.peer, Bytes(greeting.begin() + 20, greeting.end()));
    });
    Bytes got(64);
    EXPECT_EQ(m_link->RecvExact(got.data(), 64, 10000), 0);
    writer.join();
    EXPECT_EQ(got, greeting);
}

TEST_F(TcpLinkFrames, RecvExactTimesOutAndBreaksTheLink) {
    Send(Bytes(10, 1));
    Bytes got(64);
    EXPECT_EQ(m_link->RecvExact(got.data(), 64, 50), 1);
    EXPECT_TRUE(m_link->IsBroken());
    EXPECT_EQ(m_link->RecvExact(got.data(), 1, 50), 3);
}

TEST_F(TcpLinkFrames, RecvExactReportsPeerClose) {
    Send(Bytes(10, 1));
    m_pair.ClosePeer();
    Bytes got(64);
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_link->RecvExact(got.data(), 64, 5000), 2);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("..\\Common\\SWL_TCPLink 379 "), std::string::npos) << err;
}

// A peer that sends a byte now and then never stalls, but a reader that
// must finish in time ends by its limit all the same: a waiting read inside
// a frame, and the greeting's exact read. The trickle would last minutes.
TEST_F(TcpLinkFrames, ReadsThatMustFinishInTimeEndDespiteATrickle) {
    struct Row {
        const char* what;
        std::function<int(CTcpLink&)> read;
        int result;
    };
    const std::vector<Row> rows = {
        {"waiting message read", [](CTcpLink& link) {
             TcpLinkMessage msg;
             return link.RecvMsg(msg, true, 300);
         }, 3},
        {"exact read", [](CTcpLink& link) {
             uint8_t greeting[64];
             return link.RecvExact(greeting, sizeof greeting, 300);
         }, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        linktest::SocketPair pair;
        TcpLinkTimings timings;
        timings.stallLimitMs = 60000;
        TcpLinkPtr link(CTcpLink::Create(pair.link, timings));
        ASSERT_NE(link, nullptr);
        std::atomic<bool> stop{false};
        std::thread trickle([&] {
            const Bytes frame = Frame(Bytes(1000, 7));
            for (size_t i = 0; i < frame.size() && !stop; ++i) {
                linktest::WriteAll(pair.peer, Bytes{frame[i]});
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        std::promise<int> done;
        std::future<int> result = done.get_future();
        std::thread reader([&] { done.set_value(row.read(*link)); });
        // Generous: the limit is 300 ms; the trickle would take 100 s.
        const bool ended = result.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        stop = true;
        trickle.join();
        if (!ended) {
            link->Close();  // breaks the link and wakes the reader
        }
        reader.join();
        ASSERT_TRUE(ended);
        EXPECT_EQ(result.get(), row.result);
        EXPECT_TRUE(link->IsBroken());
        link.reset();
    }
}

}  // namespace
