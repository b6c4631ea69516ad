// The connection procedure against loopback listeners. The clock, the host's
// address list and the waiting slices are replaced where the test needs the
// procedure's limits to run in milliseconds. Local addresses are 127.0.0.x,
// which all belong to the loopback interface.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "common/link/SWL_ConnectProc.h"
#include "common/link/SWL_Public.h"
#include "common/platform/Diagnostics.h"
#include "tests/integration/link/LinkTestSupport.h"

namespace {

using Hosts = std::vector<std::string>;

const char* const kStars = "**********************************************";

class ConnectProc : public ::testing::Test {
protected:
    void SetUp() override {
        CConnectProc::ResetPreferredLocalAddress();
        platform::SetDiagSink([this](const std::string& text) {
            std::lock_guard<std::mutex> lock(m_diagMutex);
            m_diag.push_back(text);
        });
    }
    void TearDown() override {
        platform::SetDiagSink({});
        CConnectProc::ResetPreferredLocalAddress();
    }

    std::vector<std::string> Diag() {
        std::lock_guard<std::mutex> lock(m_diagMutex);
        return m_diag;
    }
    std::string DiagText() {
        std::string all;
        for (const std::string& t : Diag()) {
            all += t;
        }
        return all;
    }
    size_t DiagCount(const std::string& part) {
        const auto d = Diag();
        return static_cast<size_t>(std::count_if(d.begin(), d.end(), [&](const std::string& t) {
            return t.find(part) != std::string::npos;
        }));
    }

    // An environment with a test clock and a fixed host list. The waiting
    // slices go to `wait` when given.
    ConnectProcEnv Env(Hosts hosts, std::function<int(int, uint32_t)> wait = {}) {
        ConnectProcEnv env;
        env.clock = &m_clock;
        env.hostAddresses = [hosts] { return hosts; };
        env.waitConnected = std::move(wait);
        return env;
    }

    // A slice waiter that records the slices and reports "not connected"
    // for its first `failFirst` calls, then waits for real.
    std::function<int(int, uint32_t)> Recording(int failFirst) {
        auto calls = std::make_shared<int>(0);
        return [this, failFirst, calls](int sock, uint32_t ms) {
            {
                std::lock_guard<std::mutex> lock(m_sliceMutex);
                m_slices.push_back(ms);
            }
            if (++*calls <= failFirst) {
                return -1;
            }
            return SWL_WaitConnected(sock, ms);
        };
    }
    // A connect reported as unanswered may still have reached the listener:
    // take the connection that came from the bound local port.
    static int AcceptBound(const linktest::Listener& listener, sockaddr_in& peer) {
        for (int i = 0; i < 4; ++i) {
            const int s = listener.Accept(&peer);
            if (s < 0 || ntohs(peer.sin_port) == CConnectProc::kLocalPort) {
                return s;
            }
            ::close(s);
        }
        return -1;
    }
    std::vector<uint32_t> Slices() {
        std::lock_guard<std::mutex> lock(m_sliceMutex);
        return m_slices;
    }

    platform::ManualClock m_clock{5000};
    std::mutex m_diagMutex;
    std::vector<std::string> m_diag;
    std::mutex m_sliceMutex;
    std::vector<uint32_t> m_slices;
};

TEST_F(ConnectProc, PlainConnectToAListeningPort) {
    linktest::Listener listener;
    ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", listener.port, Env({"127.0.0.2"})));
    const int sock = proc->Connect(3000);
    ASSERT_GE(sock, 0);
    sockaddr_in peer{};
    const int accepted = listener.Accept(&peer);
    ASSERT_GE(accepted, 0);
    EXPECT_NE(ntohs(peer.sin_port), CConnectProc::kLocalPort);  // not bound
    EXPECT_EQ(CConnectProc::PreferredLocalAddress(), "");
    EXPECT_EQ(DiagCount("begin Connect 5000\n"), 1u);
    EXPECT_EQ(DiagCount("end Connect 5000\n"), 1u);
    EXPECT_EQ(DiagCount("ip index"), 0u);
    // The socket is the caller's: Destroy leaves it open.
    proc.reset();
    EXPECT_EQ(SWL_Send(sock, "x", 1), 1);
    ::close(accepted);
    ::close(sock);
}

TEST_F(ConnectProc, PlainConnectWaitsInSlices) {
    // The adapter procedure that follows has no host address and ends at once.
    ConnectProcPtr proc(
        CConnectProc::Create("127.0.0.1", linktest::ClosedPort(), Env({}, Recording(1000))));
    testing::internal::CaptureStderr();
    EXPECT_EQ(proc->Connect(2500), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Slices(), (std::vector<uint32_t>{1000, 1000, 500}));
    EXPECT_NE(err.find("..\\Common\\SWL_ConnectProc 88 "), std::string::npos) << err;
}

TEST_F(ConnectProc, UnansweredConnectFallsToTheAdapterProcedure) {
    linktest::Listener listener;
    // The plain connect's slices report no answer; the bound connect is real.
    ConnectProcPtr proc(
        CConnectProc::Create("127.0.0.1", listener.port, Env({"127.0.0.2"}, Recording(2))));
    const int sock = proc->Connect(2000);
    ASSERT_GE(sock, 0);
    sockaddr_in peer{};
    const int accepted = AcceptBound(listener, peer);
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(linktest::AddressText(peer), "127.0.0.2");
    EXPECT_EQ(ntohs(peer.sin_port), CConnectProc::kLocalPort);
    EXPECT_EQ(CConnectProc::PreferredLocalAddress(), "127.0.0.2");
    EXPECT_EQ(DiagCount(std::string("\r\nip index = 0") + kStars + "ip=127.0.0.2\r\n"), 1u);
    EXPECT_EQ(m_clock.SleptMs(), CConnectProc::kAttemptPauseMs);
    ::close(accepted);
    ::close(sock);
}

TEST_F(ConnectProc, RefusedConnectFallsToTheAdapterProcedure) {
    const uint16_t port = linktest::ClosedPort();
    ConnectProcPtr proc(
        CConnectProc::Create("127.0.0.1", port, Env({"127.0.0.2", "127.0.0.3"}, Recording(0))));
    EXPECT_EQ(proc->Connect(1000), -1);
    // One plain slice, then one bound attempt per host address.
    EXPECT_EQ(Slices().size(), 3u);
    EXPECT_EQ(DiagCount("ip=127.0.0.2\r\n"), 1u);
    EXPECT_EQ(DiagCount("ip=127.0.0.3\r\n"), 1u);
    EXPECT_EQ(CConnectProc::PreferredLocalAddress(), "");
}

TEST_F(ConnectProc, ZeroAddressIsSkippedWithoutATry) {
    linktest::Listener listener;
    ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", listener.port,
                                             Env({"0.0.0.0", "127.0.0.3"}, Recording(1))));
    const int sock = proc->Connect(1000);
    ASSERT_GE(sock, 0);
    sockaddr_in peer{};
    const int accepted = AcceptBound(listener, peer);
    EXPECT_EQ(linktest::AddressText(peer), "127.0.0.3");
    // The plain slice and the bound one for 127.0.0.3: none for 0.0.0.0.
    EXPECT_EQ(Slices().size(), 2u);
    EXPECT_EQ(DiagCount(std::string("ip index = 0") + kStars + "ip=0.0.0.0\r\n"), 1u);
    EXPECT_EQ(DiagCount(std::string("ip index = 1") + kStars + "ip=127.0.0.3\r\n"), 1u);
    EXPECT_EQ(DiagCount("toip:"), 0u);
    EXPECT_EQ(m_clock.SleptMs(), 2000u);
    ::close(accepted);
    ::close(sock);
}

TEST_F(ConnectProc, PreferredAddressIsUsedByTheNextConnect) {
    {
        linktest::Listener first;
        ConnectProcPtr proc(
            CConnectProc::Create("127.0.0.1", first.port, Env({"127.0.0.2"}, Recording(1))));
        const int sock = proc->Connect(1000);
        ASSERT_GE(sock, 0);
        ::close(first.Accept());
        ::close(sock);
    }
    ASSERT_EQ(CConnectProc::PreferredLocalAddress(), "127.0.0.2");
    m_slices.clear();
    m_diag.clear();

    // Another connection, whose host list would give another address: it
    // skips the plain connect and binds to the preferred one.
    linktest::Listener second;
    ConnectProcPtr proc(
        CConnectProc::Create("127.0.0.1", second.port, Env({"127.0.0.3"}, Recording(0))));
    const int sock = proc->Connect(1000);
    ASSERT_GE(sock, 0);
    sockaddr_in peer{};
    const int accepted = second.Accept(&peer);
    EXPECT_EQ(linktest::AddressText(peer), "127.0.0.2");
    EXPECT_EQ(ntohs(peer.sin_port), CConnectProc::kLocalPort);
    EXPECT_EQ(Slices().size(), 1u);
    EXPECT_EQ(DiagCount("end Connect"), 0u);
    EXPECT_EQ(DiagCount("ip=127.0.0.3"), 0u);
    ::close(accepted);
    ::close(sock);
}

TEST_F(ConnectProc, APreferredAddressThatLeftTheHostIsForgotten) {
    // 192.0.2.1 once gave a working bound connect and has since left the
    // host: it cannot be bound. The connect goes on as if none had been
    // preferred: the plain connect, then the host's current addresses.
    struct Case {
        int plainSlicesFail;  // the plain connect's slices that report no answer
        bool bound;           // the connection comes from a host address, bound
    };
    for (const Case c : {Case{0, false}, Case{1, true}}) {
        CConnectProc::SetPreferredLocalAddress("192.0.2.1");
        linktest::Listener listener;
        ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", listener.port,
                                                 Env({"127.0.0.3"}, Recording(c.plainSlicesFail))));
        const int sock = proc->Connect(1000);
        ASSERT_GE(sock, 0) << c.bound;
        sockaddr_in peer{};
        const int accepted = c.bound ? AcceptBound(listener, peer) : listener.Accept(&peer);
        ASSERT_GE(accepted, 0);
        EXPECT_EQ(ntohs(peer.sin_port) == CConnectProc::kLocalPort, c.bound);
        EXPECT_EQ(CConnectProc::PreferredLocalAddress(), c.bound ? "127.0.0.3" : "");
        EXPECT_EQ(DiagCount("end Connect"), 1u);
        ::close(accepted);
        ::close(sock);
        m_diag.clear();
    }
}

TEST_F(ConnectProc, HostListUsedUpEndsTheProcedure) {
    // Addresses that are not the host's own cannot be bound: nothing is sent.
    ConnectProcPtr proc(
        CConnectProc::Create("127.0.0.1", linktest::ClosedPort(),
                             Env({"192.0.2.1", "0.0.0.0", "198.51.100.7"}, Recording(1000))));
    testing::internal::CaptureStderr();
    EXPECT_EQ(proc->Connect(1000), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_clock.SleptMs(), 3000u);
    EXPECT_EQ(Slices().size(), 1u);  // only the plain connect waited
    EXPECT_EQ(DiagCount("ip=192.0.2.1 toip:127.0.0.1 WSAGetLastError:"), 1u);
    EXPECT_EQ(DiagCount("ip=198.51.100.7 toip:127.0.0.1 WSAGetLastError:"), 1u);
    EXPECT_NE(err.find("..\\Common\\SWL_ConnectProc 177 "), std::string::npos) << err;
}

TEST_F(ConnectProc, AttemptIndexAboveThirtyEndsTheProcedure) {
    linktest::Listener listener;
    {
        ConnectProcPtr proc(
            CConnectProc::Create("127.0.0.1", listener.port, Env({"127.0.0.2"}, Recording(1))));
        const int sock = proc->Connect(1000);
        ASSERT_GE(sock, 0);
        ::close(listener.Accept());
        ::close(sock);
    }
    ASSERT_EQ(CConnectProc::PreferredLocalAddress(), "127.0.0.2");
    m_slices.clear();
    m_diag.clear();
    const uint64_t sleptBefore = m_clock.SleptMs();

    // Every attempt binds the preferred address and is refused.
    ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", linktest::ClosedPort(),
                                             Env({"127.0.0.3"}, Recording(0))));
    EXPECT_EQ(proc->Connect(1000), -1);
    EXPECT_EQ(Slices().size(), 31u);  // attempts 0 to 30
    EXPECT_EQ(DiagCount("ip index = "), 32u);
    EXPECT_EQ(DiagCount(std::string("ip index = 31") + kStars + "ip=127.0.0.2\r\n"), 1u);
    EXPECT_EQ(m_clock.SleptMs() - sleptBefore, 32000u);
}

TEST_F(ConnectProc, SixtySecondsEndTheProcedure) {
    // Each slice "waits" by moving the test clock.
    auto waiter = [this](int, uint32_t ms) {
        std::lock_guard<std::mutex> lock(m_sliceMutex);
        m_slices.push_back(ms);
        m_clock.Advance(ms);
        return -1;
    };
    Hosts hosts;
    for (int i = 2; i < 12; ++i) {
        hosts.push_back("127.0.0." + std::to_string(i));
    }
    ConnectProcPtr proc(
        CConnectProc::Create("127.0.0.1", linktest::ClosedPort(), Env(hosts, waiter)));
    EXPECT_EQ(proc->Connect(20000), -1);
    // Plain connect 20 s; then attempts at 0, 21 and 42 s of the procedure;
    // at 63 s the limit ends it.
    EXPECT_EQ(Slices().size(), 4u * 20u);
    EXPECT_EQ(m_clock.SleptMs(), 3000u);
    EXPECT_EQ(DiagCount("ip index = "), 4u);
    EXPECT_EQ(DiagCount("ip=127.0.0.5\r\n"), 1u);
}

TEST_F(ConnectProc, CancelEndsTheConnect) {
    CConnectProc* raw = nullptr;
    auto waiter = [&](int, uint32_t ms) {
        std::lock_guard<std::mutex> lock(m_sliceMutex);
        m_slices.push_back(ms);
        raw->Cancel();
        return -1;
    };
    ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", linktest::ClosedPort(),
                                             Env({"127.0.0.2", "127.0.0.3"}, waiter)));
    raw = proc.get();
    EXPECT_EQ(proc->Connect(5000), -1);
    EXPECT_EQ(Slices().size(), 1u);  // the rest of the slices and every attempt skipped
    EXPECT_EQ(m_clock.SleptMs(), 0u);
}

TEST_F(ConnectProc, CfgpushVariantPrintsItsOwnLines) {
    for (const ConnectVariant variant : {ConnectVariant::Common, ConnectVariant::Cfgpush}) {
        ConnectProcEnv env = Env({"192.0.2.1"}, Recording(1000));
        env.variant = variant;
        ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", linktest::ClosedPort(), env));
        testing::internal::CaptureStderr();
        EXPECT_EQ(proc->Connect(1000), -1);
        const std::string err = testing::internal::GetCapturedStderr();
        const char* line =
            variant == ConnectVariant::Cfgpush ? "SWL_ConnectProc 180 " : "SWL_ConnectProc 177 ";
        EXPECT_NE(err.find(line), std::string::npos) << err;
    }
}

TEST_F(ConnectProc, CfgpushVariantConnectsThroughThePreferredAddress) {
    linktest::Listener first;
    linktest::Listener second;
    for (linktest::Listener* listener : {&first, &second}) {
        // Only the first connect has a plain connect to fail; the second
        // goes straight to the preferred address.
        ConnectProcEnv env = Env({"127.0.0.4"}, Recording(listener == &first ? 1 : 0));
        env.variant = ConnectVariant::Cfgpush;
        ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", listener->port, env));
        testing::internal::CaptureStderr();
        const int sock = proc->Connect(1000);
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_GE(sock, 0) << err << DiagText();
        sockaddr_in peer{};
        const int accepted = AcceptBound(*listener, peer);
        EXPECT_EQ(linktest::AddressText(peer), "127.0.0.4");
        ::close(accepted);
        ::close(sock);
    }
}

TEST_F(ConnectProc, BadAddressTextAndTheZeroNetworkFailAtOnce) {
    // 0.0.0.0/8 reaches this host itself: never a device (a search answer
    // without a usable address leaves 0 there).
    for (const char* text : {"not an address", "127.0.0.1.", "0127.000.000.001", "", "0.0.0.0", "0.0.0.1"}) {
        ConnectProcPtr proc(CConnectProc::Create(text, 80, Env({"127.0.0.2"}, Recording(0))));
        EXPECT_EQ(proc->Connect(1000), -1) << text;
    }
    EXPECT_TRUE(Slices().empty());
    EXPECT_EQ(m_clock.SleptMs(), 0u);
}

TEST_F(ConnectProc, PreferredAddressIsSafeAcrossThreads) {
    constexpr int kThreads = 4;
    std::vector<std::unique_ptr<linktest::Listener>> listeners;
    for (int i = 0; i < kThreads; ++i) {
        listeners.push_back(std::make_unique<linktest::Listener>());
    }
    std::vector<std::thread> threads;
    std::atomic<int> connected{0};
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ConnectProcEnv env;
            env.clock = &m_clock;
            const std::string local = "127.0.0." + std::to_string(20 + i);
            env.hostAddresses = [local] { return Hosts{local}; };
            // Plain connects (no local port chosen by us) go unanswered.
            env.waitConnected = [](int sock, uint32_t ms) {
                sockaddr_in self{};
                socklen_t len = sizeof self;
                ::getsockname(sock, reinterpret_cast<sockaddr*>(&self), &len);
                if (ntohs(self.sin_port) != CConnectProc::kLocalPort) {
                    return -1;
                }
                return SWL_WaitConnected(sock, ms);
            };
            ConnectProcPtr proc(CConnectProc::Create("127.0.0.1", listeners[i]->port, env));
            const int sock = proc->Connect(1000);
            if (sock >= 0) {
                ++connected;
                ::close(sock);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(connected.load(), kThreads);
    const std::string preferred = CConnectProc::PreferredLocalAddress();
    EXPECT_EQ(preferred.rfind("127.0.0.2", 0), 0u) << preferred;
}

}  // namespace
