// The socket layer over real loopback sockets.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "common/link/SWL_Public.h"
#include "tests/integration/link/LinkTestSupport.h"

namespace {

SWL_ADDR Loopback(uint16_t port) {
    return SWL_ADDR{0x7F000001u, port};
}

TEST(SwlPublic, InitAndQuitKeepAUseCount) {
    const int before = SWL_UseCount();
    EXPECT_EQ(SWL_Init(), 0);
    EXPECT_EQ(SWL_Init(), 0);
    EXPECT_EQ(SWL_UseCount(), before + 2);
    EXPECT_EQ(SWL_Quit(), 0);
    EXPECT_EQ(SWL_Quit(), 0);
    EXPECT_EQ(SWL_UseCount(), before);
    while (SWL_UseCount() > 0) {
        SWL_Quit();
    }
    EXPECT_EQ(SWL_Quit(), 0);  // nothing to stop
    EXPECT_EQ(SWL_UseCount(), 0);
}

TEST(SwlPublic, CreateSocketIsNonBlockingWithAddressReuse) {
    int s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    EXPECT_NE(::fcntl(s, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(s, F_GETFD) & FD_CLOEXEC, 0);
    int reuse = 0;
    socklen_t len = sizeof reuse;
    ASSERT_EQ(::getsockopt(s, SOL_SOCKET, SO_REUSEADDR, &reuse, &len), 0);
    EXPECT_EQ(reuse, 1);
    uint8_t b;
    EXPECT_EQ(SWL_Recv(s, &b, 1), -1);
    EXPECT_EQ(SWL_CloseSocket(s), 0);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(SWL_CreateSocket(AF_INET, 12345, 0), -1);
}

TEST(SwlPublic, ConnectWithTimeOutToAListeningPort) {
    linktest::Listener listener;
    ASSERT_GE(listener.fd, 0);
    int s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    const SWL_ADDR to = Loopback(listener.port);
    EXPECT_EQ(SWL_Connect(s, to, 3000), 0);
    // Already connected: 0 again.
    EXPECT_EQ(SWL_Connect(s, to, 3000), 0);
    EXPECT_EQ(SWL_Connect(s, to, 0), 0);
    const int accepted = listener.Accept();
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(SWL_Send(s, "ping", 4), 4);
    EXPECT_EQ(linktest::ReadN(accepted, 4), linktest::Text("ping"));
    ::close(accepted);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, ConnectWithoutTimeOutThenWait) {
    linktest::Listener listener;
    int s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    const SWL_ADDR to = Loopback(listener.port);
    const int r = SWL_Connect(s, to, 0);
    EXPECT_EQ(r, -1);  // time-out 0: the caller waits itself
    EXPECT_EQ(SWL_WaitConnected(s, 3000), 0);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, RefusedConnectIsNotTakenForSuccess) {
    // The socket turns writable when its connect fails; that must not count.
    int s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    const SWL_ADDR to = Loopback(linktest::ClosedPort());
    EXPECT_EQ(SWL_Connect(s, to, 3000), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
    // Asking again does not turn the dead socket into a connected one.
    EXPECT_EQ(SWL_WaitConnected(s, 100), -1);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, WaitConnectedOnANeverConnectedSocketFails) {
    int s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(SWL_WaitConnected(s, 0), -1);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, WouldBlockTellsAnEmptySocketFromAnError) {
    linktest::SocketPair pair;
    ::fcntl(pair.link, F_SETFL, O_NONBLOCK);
    uint8_t b;
    EXPECT_EQ(SWL_Recv(pair.link, &b, 1), -1);
    EXPECT_TRUE(SWL_WouldBlock());
    EXPECT_EQ(SWL_Recv(-1, &b, 1), -1);
    EXPECT_FALSE(SWL_WouldBlock());
    ::close(pair.link);
}

TEST(SwlPublic, SendToAClosedPeerGivesMinusOneNotASignal) {
    linktest::SocketPair pair;
    pair.ClosePeer();
    EXPECT_EQ(SWL_Send(pair.link, "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(pair.link);
}

TEST(SwlPublic, ErrorPrintCarriesSourceLineAndErrnoText) {
    testing::internal::CaptureStderr();
    errno = ECONNREFUSED;
    SWL_PrintError(kSwlPublicSource, 122);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "..\\Common\\SWL_Public 122 : " + std::string(std::strerror(ECONNREFUSED)) + "\n");
}

}  // namespace
