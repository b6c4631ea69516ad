#include "common/link/SWL_Public.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_useMutex;
int g_useCount = 0;  // guarded by g_useMutex

// Waits until the socket is writable or the time is up; keeps waiting through
// signal interruptions. Returns poll()'s result.
int PollWritable(int sock, uint32_t timeoutMs) {
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

}  // namespace

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

int SWL_CreateSocket(int iDomain, int iType, int iProtocol) {
    const int sock = ::socket(iDomain, iType | SOCK_CLOEXEC, iProtocol);
    if (sock < 0) {
        return -1;
    }
    const int on = 1;
    if (::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        SWL_PrintError(kSwlPublicSource, 122);
        ::close(sock);
        return -1;
    }
    const int flags = ::fcntl(sock, F_GETFL, 0);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

int SWL_CloseSocket(int& sock) {
    const int r = ::close(sock);
    sock = -1;
    return r;
}

int SWL_Close(int sock) {
    return ::close(sock);
}

int SWL_Shutdown(int sock, int how) {
    return ::shutdown(sock, how);
}

int SWL_Bind(int sock, const sockaddr* addr, socklen_t len) {
    return ::bind(sock, addr, len);
}

int SWL_Send(int sock, const void* data, int len) {
    if (len < 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::send(sock, data, static_cast<size_t>(len), MSG_NOSIGNAL));
}

int SWL_Recv(int sock, void* buffer, int len) {
    if (len < 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::recv(sock, buffer, static_cast<size_t>(len), 0));
}

bool SWL_WouldBlock() {
    return errno == EWOULDBLOCK || errno == EAGAIN;
}

int SWL_Connect(int sock, const sockaddr* pServAddr, socklen_t len, uint32_t timeoutMs) {
    if (::connect(sock, pServAddr, len) != 0) {
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

int SWL_WaitConnected(int sock, uint32_t timeoutMs) {
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

void SWL_PrintError(const char* source, int line) {
    const int err = errno;
    char text[200];
    std::snprintf(text, sizeof text, "%s %d ", source, line);
    errno = err;
    std::perror(text);
}
