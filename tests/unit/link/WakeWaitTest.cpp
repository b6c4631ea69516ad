// The wait beside the wake event (SWL_WaitSocket): a wake given before the
// wait is not lost, Drain clears every wake given, and a wake from another
// thread ends a wait. On Windows the wake event is a socket of its own.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <thread>

#include "common/link/SWL_Public.h"
#include "common/platform/WakeEvent.h"

namespace {

TEST(WakeWait, WakesAreKeptUntilDrained) {
    ASSERT_EQ(SWL_Init(), 0);
    // A datagram socket nobody sends to: only the wake can end its waits.
    SWL_SOCKET quiet = SWL_CreateSocket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(quiet, SWL_INVALID_SOCKET);
    SWL_ADDR local;
    ASSERT_TRUE(SWL_MakeAddr("127.0.0.1", 0, local));
    ASSERT_EQ(SWL_Bind(quiet, local), 0);
    platform::WakeEvent wake;
    ASSERT_TRUE(wake.Valid());

    EXPECT_EQ(SWL_WaitSocket(quiet, false, wake, 0), 0);
    wake.Signal();
    wake.Signal();
    EXPECT_GT(SWL_WaitSocket(quiet, false, wake, 60000), 0);  // given before the wait
    EXPECT_GT(SWL_WaitSocket(quiet, false, wake, 0), 0);      // still set
    wake.Drain();
    EXPECT_EQ(SWL_WaitSocket(quiet, false, wake, 0), 0);  // both wakes taken

    std::thread waker([&wake] { wake.Signal(); });
    EXPECT_GT(SWL_WaitSocket(quiet, false, wake, 60000), 0);
    waker.join();
    wake.Drain();

    EXPECT_EQ(SWL_CloseSocket(quiet), 0);
    EXPECT_EQ(quiet, SWL_INVALID_SOCKET);
    EXPECT_EQ(SWL_Quit(), 0);
}

}  // namespace
