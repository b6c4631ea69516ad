#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#endif

#include <cerrno>

#include "common/link/SWL_Public.h"

namespace {

// The numbers the link's own logic turns on: a would-block read or send is
// retried, a connect in progress is waited for, an interrupted call is
// repeated; any failure the layer does not know stays a failure (Other,
// never None). The layer's own failures read back as they were set.
TEST(SwlError, TheErrorsTheLinkActsOnAreTold) {
    const struct {
        int system;
        SWL_ERROR expected;
    } cases[] = {
        {0, SWL_ERROR::None},
#ifdef _WIN32
        {WSAEWOULDBLOCK, SWL_ERROR::WouldBlock},
        {WSAEINPROGRESS, SWL_ERROR::InProgress},
        {WSAEALREADY, SWL_ERROR::InProgress},
        {WSAEINTR, SWL_ERROR::Interrupted},
        {WSAESHUTDOWN, SWL_ERROR::BrokenPipe},
        {WSAECONNRESET, SWL_ERROR::ConnectionReset},
        {WSAEOPNOTSUPP, SWL_ERROR::Other},
#else
        {EAGAIN, SWL_ERROR::WouldBlock},
        {EWOULDBLOCK, SWL_ERROR::WouldBlock},
        {EINPROGRESS, SWL_ERROR::InProgress},
        {EINTR, SWL_ERROR::Interrupted},
        {EPIPE, SWL_ERROR::BrokenPipe},
        {EIO, SWL_ERROR::Other},
#endif
        {-1, SWL_ERROR::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        EXPECT_EQ(SWL_ErrorFromSystem(c.system), c.expected);
#ifdef _WIN32
        WSASetLastError(c.system);
#else
        errno = c.system;
#endif
        EXPECT_EQ(SWL_LastError(), c.expected);
        EXPECT_EQ(SWL_WouldBlock(), c.expected == SWL_ERROR::WouldBlock);
        SWL_SetLastError(SWL_ERROR::ConnectionReset);
        EXPECT_EQ(SWL_LastError(), SWL_ERROR::ConnectionReset);
    }
}

}  // namespace
