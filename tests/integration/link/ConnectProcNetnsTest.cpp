// The connection procedure off loopback: inside a private network namespace,
// a "camera" in a second namespace behind a veth pair. Our side closes
// first and so holds TIME_WAIT on the fixed local port; a retry to the same
// camera must still connect (loopback reuses such ports, a real link to a
// camera without TCP timestamps does not).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/link/SWL_ConnectProc.h"
#include "common/link/SWL_Public.h"
#include "common/platform/Clock.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace {

constexpr const char* kLocal = "10.77.0.1";
constexpr const char* kCamera = "10.77.0.2";

class ConnectProcNetns : public nstest::PrivateNetnsTest {
protected:
    void SetUp() override {
        nstest::PrivateNetnsTest::SetUp();
        if (IsSkipped()) return;
        m_camera = "camprep-cp-" + std::to_string(getpid());
        const std::string in = "ip netns exec " + m_camera + " ";
        ASSERT_EQ(nstest::Shell("ip netns add " + m_camera), 0);
        m_made = true;
        ASSERT_EQ(nstest::Shell("ip link add cpa type veth peer name cpb netns " + m_camera), 0);
        ASSERT_EQ(nstest::Shell(std::string("ip addr add ") + kLocal + "/24 dev cpa && ip link set cpa up"), 0);
        ASSERT_EQ(nstest::Shell(in + "ip addr add " + kCamera + "/24 dev cpb && " + in + "ip link set cpb up && " +
                                in + "ip link set lo up"),
                  0);
        bool carrier = false;  // a veth's carrier follows its peer a moment later
        for (int i = 0; i < 500 && !carrier; ++i) {
            carrier = nstest::Capture("ip -o link show cpa").find("LOWER_UP") != std::string::npos;
            usleep(carrier ? 0 : 10 * 1000);
        }
        ASSERT_TRUE(carrier);
        // A camera without TCP timestamps: Linux then never lets a bound
        // connect reuse a pair that waits out TIME_WAIT.
        ASSERT_EQ(nstest::Shell("sysctl -q -w net.ipv4.tcp_timestamps=0"), 0);
        ListenInCamera();
    }
    void TearDown() override {
        m_stop = true;
        if (m_listener >= 0) ::shutdown(m_listener, SHUT_RDWR);
        if (m_server.joinable()) m_server.join();
        if (m_listener >= 0) ::close(m_listener);
        if (m_made) nstest::Shell("ip netns del " + m_camera);
    }

    // The listening socket is made inside the camera's namespace; the
    // server closes each connection once the peer has closed it.
    void ListenInCamera() {
        const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int camera = ::open(("/run/netns/" + m_camera).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(home, 0);
        ASSERT_GE(camera, 0);
        ASSERT_EQ(::setns(camera, CLONE_NEWNET), 0);
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::setns(home, CLONE_NEWNET), 0);
        ::close(home);
        ::close(camera);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(9010);
        inet_pton(AF_INET, kCamera, &a.sin_addr);
        ASSERT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::listen(m_listener, 8), 0);
        m_server = std::thread([this] {
            while (!m_stop) {
                const int c = ::accept(m_listener, nullptr, nullptr);
                if (c < 0) return;
                char b;
                while (::recv(c, &b, 1, 0) > 0) {
                }
                ::close(c);
                ++m_closed;
            }
        });
    }

    static uint16_t LocalPort(int sock) {
        sockaddr_in a{};
        socklen_t length = sizeof a;
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&a), &length);
        return ntohs(a.sin_port);
    }

    std::string m_camera;
    bool m_made = false;
    int m_listener = -1;
    std::thread m_server;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_closed{0};
};

TEST_F(ConnectProcNetns, RetryWhileTheFixedPortWaitsOutTimeWait) {
    CConnectProc::ResetPreferredLocalAddress();
    platform::ManualClock clock;
    int waits = 0;
    ConnectProcEnv env;
    env.clock = &clock;
    env.hostAddresses = [] { return std::vector<std::string>{kLocal}; };
    // The plain connect "fails" once, so the first connection goes through
    // the adapter procedure and makes kLocal the preferred local address.
    env.waitConnected = [&waits](int sock, uint32_t ms) { return waits++ == 0 ? -1 : SWL_WaitConnected(sock, ms); };

    ConnectProcPtr first(CConnectProc::Create(kCamera, 9010, env));
    int sock = first->Connect(1000);  // one waiting slice
    ASSERT_GE(sock, 0);
    EXPECT_EQ(CConnectProc::PreferredLocalAddress(), kLocal);
    EXPECT_EQ(LocalPort(sock), CConnectProc::kLocalPort);
    SWL_CloseSocket(sock);  // we close first: TIME_WAIT on kLocal:9088
    // The server closes both connections (the plain connect's and this one).
    for (int i = 0; i < 500 && m_closed < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(m_closed, 2);

    ConnectProcPtr second(CConnectProc::Create(kCamera, 9010, env));
    sock = second->Connect(2000);
    ASSERT_GE(sock, 0);
    EXPECT_NE(LocalPort(sock), CConnectProc::kLocalPort);
    SWL_CloseSocket(sock);
    CConnectProc::ResetPreferredLocalAddress();
}

}  // namespace
