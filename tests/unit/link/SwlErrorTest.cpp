#include <gtest/gtest.h>

#include <cerrno>

#include "common/link/SWL_Public.h"

namespace {

// The system's numbers the link meets, each with the error the layer above
// sees; a number it does not know is Other, never None.
TEST(SwlError, SystemNumbersMapOntoTheLayersOwnErrors) {
    const struct {
        int system;
        SWL_ERROR expected;
    } cases[] = {
        {0, SWL_ERROR::None},
        {EAGAIN, SWL_ERROR::WouldBlock},
        {EWOULDBLOCK, SWL_ERROR::WouldBlock},
        {EINPROGRESS, SWL_ERROR::InProgress},
        {EALREADY, SWL_ERROR::InProgress},
        {EISCONN, SWL_ERROR::AlreadyConnected},
        {EINTR, SWL_ERROR::Interrupted},
        {ETIMEDOUT, SWL_ERROR::TimedOut},
        {ECONNREFUSED, SWL_ERROR::ConnectionRefused},
        {ECONNRESET, SWL_ERROR::ConnectionReset},
        {ECONNABORTED, SWL_ERROR::ConnectionAborted},
        {EPIPE, SWL_ERROR::BrokenPipe},
        {ENOTCONN, SWL_ERROR::NotConnected},
        {EADDRINUSE, SWL_ERROR::AddressInUse},
        {EADDRNOTAVAIL, SWL_ERROR::AddressNotAvailable},
        {ENETUNREACH, SWL_ERROR::NetworkUnreachable},
        {EHOSTUNREACH, SWL_ERROR::HostUnreachable},
        {EINVAL, SWL_ERROR::InvalidArgument},
        {EBADF, SWL_ERROR::InvalidArgument},
        {ENOBUFS, SWL_ERROR::NoResources},
        {EMFILE, SWL_ERROR::NoResources},
        {EACCES, SWL_ERROR::AccessDenied},
        {EIO, SWL_ERROR::Other},
        {-1, SWL_ERROR::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        EXPECT_EQ(SWL_ErrorFromSystem(c.system), c.expected);
        // What the layer reports of its own failures reads back the same.
        SWL_SetLastError(c.expected);
        EXPECT_EQ(SWL_LastError(), c.expected);
        errno = c.system;
        EXPECT_EQ(SWL_LastError(), c.expected);
        EXPECT_EQ(SWL_WouldBlock(), c.expected == SWL_ERROR::WouldBlock);
    }
}

}  // namespace
