#include "common/link/SWL_Public.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "common/link/SWL_ErrorTable.h"
#include "common/platform/Diagnostics.h"

namespace {

std::mutex g_useMutex;
int g_useCount = 0;  // guarded by g_useMutex

int TimeoutArg(uint32_t timeoutMs) {
    return timeoutMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(timeoutMs);
}

sockaddr_in ToSockaddr(const SWL_ADDR& addr) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(addr.ip);
    in.sin_port = htons(addr.port);
    return in;
}

// Waits until the socket is writable or the time is up; keeps waiting through
// signal interruptions. Returns poll()'s result.
int PollWritable(SWL_SOCKET sock, uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd pfd{sock, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (r >= 0 || errno != EINTR) {
            return r;
        }
    }
}

// The system's error numbers and what they mean to the layer above; the
// first number of each error is the one SWL_SetLastError sets.
constexpr SwlErrorCode kErrorCodes[] = {
    {EWOULDBLOCK, SWL_ERROR::WouldBlock},
    {EAGAIN, SWL_ERROR::WouldBlock},
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
    {ENETDOWN, SWL_ERROR::NetworkUnreachable},
    {EHOSTUNREACH, SWL_ERROR::HostUnreachable},
    {EHOSTDOWN, SWL_ERROR::HostUnreachable},
    {EINVAL, SWL_ERROR::InvalidArgument},
    {EBADF, SWL_ERROR::InvalidArgument},
    {ENOTSOCK, SWL_ERROR::InvalidArgument},
    {ENOBUFS, SWL_ERROR::NoResources},
    {ENOMEM, SWL_ERROR::NoResources},
    {EMFILE, SWL_ERROR::NoResources},
    {ENFILE, SWL_ERROR::NoResources},
    {EACCES, SWL_ERROR::AccessDenied},
    {EPERM, SWL_ERROR::AccessDenied},
};

}  // namespace

SWL_ERROR SWL_ErrorFromSystem(int systemError) {
    return SwlErrorFromTable(kErrorCodes, systemError);
}

SWL_ERROR SWL_LastError() {
    return SWL_ErrorFromSystem(errno);
}

int SWL_LastErrorCode() {
    return errno;
}

void SWL_SetLastError(SWL_ERROR e) {
    errno = SwlSystemErrorOf(kErrorCodes, e, EIO);
}

bool SWL_MakeAddr(const char* dotted, uint16_t port, SWL_ADDR& out) {
    in_addr a{};
    if (dotted == nullptr || ::inet_pton(AF_INET, dotted, &a) != 1) {
        return false;
    }
    out.ip = ntohl(a.s_addr);
    out.port = port;
    return true;
}

int SWL_Init() {
    std::lock_guard<std::mutex> lock(g_useMutex);
    // POSIX sockets need no start; the count is kept so that start and stop
    // pair up as they do with Windows sockets.
    ++g_useCount;
    return 0;
}

int SWL_Quit() {
    std::lock_guard<std::mutex> lock(g_useMutex);
    if (g_useCount <= 0) {
        return 0;
    }
    --g_useCount;
    return 0;
}

int SWL_UseCount() {
    std::lock_guard<std::mutex> lock(g_useMutex);
    return g_useCount;
}

SWL_SOCKET SWL_CreateSocket(int iDomain, int iType, int iProtocol) {
    const int sock = ::socket(iDomain, iType | SOCK_CLOEXEC, iProtocol);
    if (sock < 0) {
        return SWL_INVALID_SOCKET;
    }
    const int on = 1;
    if (::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        SWL_PrintError(kSwlPublicSource, 122);
        ::close(sock);
        return SWL_INVALID_SOCKET;
    }
    const int flags = ::fcntl(sock, F_GETFL, 0);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) {
        ::close(sock);
        return SWL_INVALID_SOCKET;
    }
    return sock;
}

SWL_SOCKET SWL_CreateTcpSocket() {
    return SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
}

int SWL_CloseSocket(SWL_SOCKET& sock) {
    const int r = ::close(sock);
    sock = SWL_INVALID_SOCKET;
    return r;
}

int SWL_Close(SWL_SOCKET sock) {
    return ::close(sock);
}

int SWL_Shutdown(SWL_SOCKET sock) {
    return ::shutdown(sock, SHUT_RDWR);
}

int SWL_Bind(SWL_SOCKET sock, const SWL_ADDR& addr) {
    const sockaddr_in in = ToSockaddr(addr);
    return ::bind(sock, reinterpret_cast<const sockaddr*>(&in), sizeof in);
}

int SWL_Send(SWL_SOCKET sock, const void* data, int len) {
    if (len < 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::send(sock, data, static_cast<size_t>(len), MSG_NOSIGNAL));
}

int SWL_Recv(SWL_SOCKET sock, void* buffer, int len) {
    if (len < 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::recv(sock, buffer, static_cast<size_t>(len), 0));
}

int SWL_RecvNow(SWL_SOCKET sock, void* buffer, int len) {
    if (len < 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::recv(sock, buffer, static_cast<size_t>(len), MSG_DONTWAIT));
}

long SWL_SendPartsNow(SWL_SOCKET sock, const SWL_BUF* parts, size_t count) {
    constexpr size_t kMaxParts = 8;
    if (count > kMaxParts) {
        errno = EINVAL;
        return -1;
    }
    iovec io[kMaxParts];
    for (size_t i = 0; i < count; ++i) {
        io[i] = {const_cast<void*>(parts[i].data), parts[i].length};
    }
    msghdr message{};
    message.msg_iov = io;
    message.msg_iovlen = count;
    return static_cast<long>(::sendmsg(sock, &message, MSG_NOSIGNAL | MSG_DONTWAIT));
}

int SWL_WaitSocket(SWL_SOCKET sock, bool forWrite, const platform::WakeEvent& wake,
                   uint32_t timeoutMs) {
    pollfd fds[2] = {{sock, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0},
                     {static_cast<int>(wake.Native()), POLLIN, 0}};
    return ::poll(fds, 2, TimeoutArg(timeoutMs));
}

bool SWL_WouldBlock() {
    return SWL_LastError() == SWL_ERROR::WouldBlock;
}

int SWL_Connect(SWL_SOCKET sock, const SWL_ADDR& serverAddr, uint32_t timeoutMs) {
    const sockaddr_in in = ToSockaddr(serverAddr);
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
        const int err = errno;
        if (err == EISCONN) {
            errno = err;
            return 0;
        }
        // Would block, in progress and invalid argument mean "not finished
        // yet": go on and wait. Anything else is a failure.
        if (err != EWOULDBLOCK && err != EAGAIN && err != EINPROGRESS && err != EALREADY &&
            err != EINVAL) {
            errno = err;
            return -1;
        }
    }
    if (timeoutMs == 0) {
        return -1;
    }
    return SWL_WaitConnected(sock, timeoutMs);
}

int SWL_WaitConnected(SWL_SOCKET sock, uint32_t timeoutMs) {
    const int ready = PollWritable(sock, timeoutMs);
    if (ready <= 0) {
        if (ready == 0) {
            errno = ETIMEDOUT;
        }
        return -1;
    }
    // Here a socket also turns writable when its connect failed: only a
    // socket with no pending error and a peer is connected.
    int soError = 0;
    socklen_t soLen = sizeof soError;
    if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &soError, &soLen) != 0) {
        return -1;
    }
    if (soError != 0) {
        errno = soError;
        return -1;
    }
    sockaddr_storage peer{};
    socklen_t peerLen = sizeof peer;
    if (::getpeername(sock, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) {
        return -1;
    }
    return 0;
}

bool SWL_LocalAddress(SWL_SOCKET sock, SWL_ADDR& addr) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET) {
        return false;
    }
    addr.ip = ntohl(local.sin_addr.s_addr);
    addr.port = ntohs(local.sin_port);
    return true;
}

void SWL_PrintError(const char* source, int line) {
    // As perror prints it: "<source> <line> : <text of the last error>".
    const int err = errno;
    platform::ErrorPrintf("%s %d : %s\n", source, line, std::strerror(err));
    errno = err;
}
