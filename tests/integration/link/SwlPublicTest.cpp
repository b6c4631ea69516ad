// The socket layer over real loopback sockets.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

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
    ASSERT_EQ(SWL_Init(), 0);
    SWL_SOCKET s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, SWL_INVALID_SOCKET);
#ifndef _WIN32  // Windows cannot be asked for these two
    EXPECT_NE(::fcntl(s, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(s, F_GETFD) & FD_CLOEXEC, 0);
#endif
    int reuse = 0;
    socklen_t len = sizeof reuse;
    ASSERT_EQ(::getsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char*>(&reuse), &len), 0);
    EXPECT_EQ(reuse, 1);
    uint8_t b;
    EXPECT_EQ(SWL_Recv(s, &b, 1), -1);
    EXPECT_EQ(SWL_CloseSocket(s), 0);
    EXPECT_EQ(s, SWL_INVALID_SOCKET);
    EXPECT_EQ(SWL_CreateSocket(AF_INET, 12345, 0), SWL_INVALID_SOCKET);
    SWL_Quit();
}

TEST(SwlPublic, ConnectWithTimeOutToAListeningPort) {
    linktest::Listener listener;
    ASSERT_NE(listener.fd, SWL_INVALID_SOCKET);
    SWL_SOCKET s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    const SWL_ADDR to = Loopback(listener.port);
    EXPECT_EQ(SWL_Connect(s, to, 3000), 0);
    // Already connected: 0 again.
    EXPECT_EQ(SWL_Connect(s, to, 3000), 0);
    EXPECT_EQ(SWL_Connect(s, to, 0), 0);
    const linktest::Socket accepted = listener.Accept();
    ASSERT_NE(accepted, SWL_INVALID_SOCKET);
    EXPECT_EQ(SWL_Send(s, "ping", 4), 4);
    EXPECT_EQ(linktest::ReadN(accepted, 4), linktest::Text("ping"));
    linktest::CloseSocket(accepted);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, ConnectWithoutTimeOutThenWait) {
    linktest::Listener listener;
    SWL_SOCKET s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    const SWL_ADDR to = Loopback(listener.port);
    const int r = SWL_Connect(s, to, 0);
    EXPECT_EQ(r, -1);  // time-out 0: the caller waits itself
    EXPECT_EQ(SWL_WaitConnected(s, 3000), 0);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, RefusedConnectIsNotTakenForSuccess) {
    // The socket turns writable when its connect fails; that must not count.
    SWL_SOCKET s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    const SWL_ADDR to = Loopback(linktest::ClosedPort());
    EXPECT_EQ(SWL_Connect(s, to, 3000), -1);
    EXPECT_EQ(SWL_LastError(), SWL_ERROR::ConnectionRefused);
    // Asking again does not turn the dead socket into a connected one.
    EXPECT_EQ(SWL_WaitConnected(s, 100), -1);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, WaitConnectedOnANeverConnectedSocketFails) {
    SWL_SOCKET s = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(SWL_WaitConnected(s, 0), -1);
    SWL_CloseSocket(s);
}

TEST(SwlPublic, WouldBlockTellsAnEmptySocketFromAnError) {
    linktest::SocketPair pair;
    linktest::SetNonBlocking(pair.link);
    uint8_t b;
    EXPECT_EQ(SWL_Recv(pair.link, &b, 1), -1);
    EXPECT_TRUE(SWL_WouldBlock());
    EXPECT_EQ(SWL_Recv(SWL_INVALID_SOCKET, &b, 1), -1);
    EXPECT_FALSE(SWL_WouldBlock());
    linktest::CloseSocket(pair.link);
}

TEST(SwlPublic, SendToAClosedPeerGivesMinusOneNotASignal) {
    linktest::SocketPair pair;
    pair.ClosePeer();
    // A TCP stack may take what it can buffer until the peer's reset is back.
    int sent = 0;
    for (int i = 0; i < 500 && (sent = SWL_Send(pair.link, "x", 1)) == 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(sent, -1);
    const SWL_ERROR error = SWL_LastError();
    EXPECT_TRUE(error == SWL_ERROR::BrokenPipe || error == SWL_ERROR::ConnectionReset ||
                error == SWL_ERROR::ConnectionAborted);
    linktest::CloseSocket(pair.link);
}

TEST(SwlPublic, ErrorPrintCarriesSourceLineAndErrnoText) {
    testing::internal::CaptureStderr();
    SWL_SetLastError(SWL_ERROR::ConnectionRefused);
    SWL_PrintError(kSwlPublicSource, 122);
    EXPECT_EQ(SWL_LastError(), SWL_ERROR::ConnectionRefused);  // kept across the print
    const std::string err = testing::internal::GetCapturedStderr();
#ifdef _WIN32
    EXPECT_EQ(err.rfind("..\\Common\\SWL_Public 122 : ", 0), 0u) << err;
    EXPECT_GT(err.size(), std::string("..\\Common\\SWL_Public 122 : \n").size()) << err;
#else
    EXPECT_EQ(err,
              "..\\Common\\SWL_Public 122 : " + std::string(std::strerror(ECONNREFUSED)) + "\n");
#endif
}

}  // namespace
