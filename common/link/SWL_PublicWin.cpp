// The socket layer on Winsock 2. The same contracts as the POSIX one
// (SWL_Public.cpp); where Windows differs:
// - SWL_Init starts Winsock 2.2 for the first user, SWL_Quit stops it after
//   the last;
// - a failed non-blocking connect shows in select's exception set, not as
//   a writable socket, so SWL_WaitConnected watches both;
// - waits beside the wake event use WSAPoll (the wake event is a socket);
// - sends raise no signal on Windows, so nothing needs turning off.
#include "common/link/SWL_Public.h"

#include <winsock2.h>  // first: the other Windows headers need it

#include <windows.h>
#include <ws2tcpip.h>

#include <climits>
#include <mutex>
#include <string>

#include "common/link/SWL_ErrorTable.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/WinText.h"

namespace {

std::mutex g_useMutex;
int g_useCount = 0;  // guarded by g_useMutex

SOCKET Sock(SWL_SOCKET sock) {
    return static_cast<SOCKET>(sock);
}

INT TimeoutArg(uint32_t timeoutMs) {
    return timeoutMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<INT>(timeoutMs);
}

sockaddr_in ToSockaddr(const SWL_ADDR& addr) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(addr.ip);
    in.sin_port = htons(addr.port);
    return in;
}

// Winsock's error numbers and what they mean to the layer above; the first
// number of each error is the one SWL_SetLastError sets.
constexpr SwlErrorCode kErrorCodes[] = {
    {WSAEWOULDBLOCK, SWL_ERROR::WouldBlock},
    {WSAEINPROGRESS, SWL_ERROR::InProgress},
    {WSAEALREADY, SWL_ERROR::InProgress},
    {WSAEISCONN, SWL_ERROR::AlreadyConnected},
    {WSAEINTR, SWL_ERROR::Interrupted},
    {WSAETIMEDOUT, SWL_ERROR::TimedOut},
    {WSAECONNREFUSED, SWL_ERROR::ConnectionRefused},
    {WSAECONNRESET, SWL_ERROR::ConnectionReset},
    {WSAENETRESET, SWL_ERROR::ConnectionReset},
    {WSAECONNABORTED, SWL_ERROR::ConnectionAborted},
    {WSAESHUTDOWN, SWL_ERROR::BrokenPipe},
    {WSAENOTCONN, SWL_ERROR::NotConnected},
    {WSAEADDRINUSE, SWL_ERROR::AddressInUse},
    {WSAEADDRNOTAVAIL, SWL_ERROR::AddressNotAvailable},
    {WSAENETUNREACH, SWL_ERROR::NetworkUnreachable},
    {WSAENETDOWN, SWL_ERROR::NetworkUnreachable},
    {WSAEHOSTUNREACH, SWL_ERROR::HostUnreachable},
    {WSAEHOSTDOWN, SWL_ERROR::HostUnreachable},
    {WSAEINVAL, SWL_ERROR::InvalidArgument},
    {WSAENOTSOCK, SWL_ERROR::InvalidArgument},
    {WSAEFAULT, SWL_ERROR::InvalidArgument},
    {WSAENOBUFS, SWL_ERROR::NoResources},
    {WSAEMFILE, SWL_ERROR::NoResources},
    {WSA_NOT_ENOUGH_MEMORY, SWL_ERROR::NoResources},
    {WSAEACCES, SWL_ERROR::AccessDenied},
};

// The text of a Winsock error, as strerror gives an errno's.
std::string ErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string result;
    if (length > 0 && text != nullptr) {
        result = platform::WideToUtf8(std::wstring_view(text, length));
    }
    if (text != nullptr) {
        ::LocalFree(text);
    }
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();
    }
    return result.empty() ? "error " + std::to_string(error) : result;
}

int Failed(int error) {
    ::WSASetLastError(error);
    return -1;
}

}  // namespace

SWL_ERROR SWL_ErrorFromSystem(int systemError) {
    return SwlErrorFromTable(kErrorCodes, systemError);
}

SWL_ERROR SWL_LastError() {
    return SWL_ErrorFromSystem(::WSAGetLastError());
}

int SWL_LastErrorCode() {
    return ::WSAGetLastError();
}

void SWL_SetLastError(SWL_ERROR e) {
    ::WSASetLastError(SwlSystemErrorOf(kErrorCodes, e, WSAEOPNOTSUPP));
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
    if (g_useCount > 0) {
        ++g_useCount;
        return 0;
    }
    WSADATA data{};
    const int rc = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) {
        platform::ErrorPrintf("%s %d last errno = %d\n", kSwlPublicSource, 75, rc);
        return 1;
    }
    ++g_useCount;
    return 0;
}

int SWL_Quit() {
    std::lock_guard<std::mutex> lock(g_useMutex);
    if (g_useCount <= 0) {
        return 0;
    }
    // Winsock counts its starts: only the last user's stop ends it.
    if (--g_useCount == 0 && ::WSACleanup() != 0) {
        platform::ErrorPrintf("%s %d last errno = %d\n", kSwlPublicSource, 99, ::WSAGetLastError());
        return 1;
    }
    return 0;
}

int SWL_UseCount() {
    std::lock_guard<std::mutex> lock(g_useMutex);
    return g_useCount;
}

SWL_SOCKET SWL_CreateSocket(int iDomain, int iType, int iProtocol) {
    // Not inherited by child processes (the close-on-exec of POSIX).
    const SOCKET sock = ::WSASocketW(iDomain, iType, iProtocol, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (sock == INVALID_SOCKET) {
        return SWL_INVALID_SOCKET;
    }
    const BOOL on = TRUE;
    if (::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0) {
        SWL_PrintError(kSwlPublicSource, 122);
        ::closesocket(sock);
        return SWL_INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(sock);
        return SWL_INVALID_SOCKET;
    }
    return static_cast<SWL_SOCKET>(sock);
}

SWL_SOCKET SWL_CreateTcpSocket() {
    return SWL_CreateSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

int SWL_CloseSocket(SWL_SOCKET& sock) {
    const int r = ::closesocket(Sock(sock));
    sock = SWL_INVALID_SOCKET;
    return r == 0 ? 0 : -1;
}

int SWL_Close(SWL_SOCKET sock) {
    return ::closesocket(Sock(sock)) == 0 ? 0 : -1;
}

int SWL_Shutdown(SWL_SOCKET sock) {
    return ::shutdown(Sock(sock), SD_BOTH) == 0 ? 0 : -1;
}

int SWL_Bind(SWL_SOCKET sock, const SWL_ADDR& addr) {
    const sockaddr_in in = ToSockaddr(addr);
    return ::bind(Sock(sock), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0 ? 0 : -1;
}

int SWL_Send(SWL_SOCKET sock, const void* data, int len) {
    if (len < 0) {
        return Failed(WSAEINVAL);
    }
    const int sent = ::send(Sock(sock), static_cast<const char*>(data), len, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int SWL_Recv(SWL_SOCKET sock, void* buffer, int len) {
    if (len < 0) {
        return Failed(WSAEINVAL);
    }
    const int got = ::recv(Sock(sock), static_cast<char*>(buffer), len, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

int SWL_RecvNow(SWL_SOCKET sock, void* buffer, int len) {
    if (len < 0) {
        return Failed(WSAEINVAL);
    }
    // Windows has no per-call "don't wait": look first, so that a blocking
    // socket does not wait either.
    WSAPOLLFD fd{};
    fd.fd = Sock(sock);
    fd.events = POLLRDNORM;
    const int ready = ::WSAPoll(&fd, 1, 0);
    if (ready < 0) {
        return -1;
    }
    if (ready == 0) {
        return Failed(WSAEWOULDBLOCK);
    }
    return SWL_Recv(sock, buffer, len);
}

long SWL_SendPartsNow(SWL_SOCKET sock, const SWL_BUF* parts, size_t count) {
    constexpr size_t kMaxParts = 8;
    if (count > kMaxParts) {
        return Failed(WSAEINVAL);
    }
    WSABUF buffers[kMaxParts];
    for (size_t i = 0; i < count; ++i) {
        if (parts[i].length > ULONG_MAX) {
            return Failed(WSAEINVAL);
        }
        buffers[i].len = static_cast<ULONG>(parts[i].length);
        buffers[i].buf = static_cast<char*>(const_cast<void*>(parts[i].data));
    }
    // The link's sockets are non-blocking (SWL_CreateSocket).
    DWORD sent = 0;
    if (::WSASend(Sock(sock), buffers, static_cast<DWORD>(count), &sent, 0, nullptr, nullptr) !=
        0) {
        return -1;
    }
    return static_cast<long>(sent);
}

int SWL_WaitSocket(SWL_SOCKET sock, bool forWrite, const platform::WakeEvent& wake,
                   uint32_t timeoutMs) {
    WSAPOLLFD fds[2] = {};
    fds[0].fd = Sock(sock);
    fds[0].events = static_cast<SHORT>(forWrite ? POLLWRNORM : POLLRDNORM);
    fds[1].fd = static_cast<SOCKET>(wake.Native());
    fds[1].events = POLLRDNORM;
    const int ready = ::WSAPoll(fds, 2, TimeoutArg(timeoutMs));
    return ready == SOCKET_ERROR ? -1 : ready;
}

bool SWL_WouldBlock() {
    return SWL_LastError() == SWL_ERROR::WouldBlock;
}

int SWL_Connect(SWL_SOCKET sock, const SWL_ADDR& serverAddr, uint32_t timeoutMs) {
    const sockaddr_in in = ToSockaddr(serverAddr);
    if (::connect(Sock(sock), reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
        const int err = ::WSAGetLastError();
        if (err == WSAEISCONN) {
            ::WSASetLastError(err);
            return 0;
        }
        // Would block, in progress and invalid argument mean "not finished
        // yet": go on and wait. Anything else is a failure.
        if (err != WSAEWOULDBLOCK && err != WSAEINPROGRESS && err != WSAEALREADY &&
            err != WSAEINVAL) {
            return Failed(err);
        }
        ::WSASetLastError(err);
    }
    if (timeoutMs == 0) {
        return -1;
    }
    return SWL_WaitConnected(sock, timeoutMs);
}

int SWL_WaitConnected(SWL_SOCKET sock, uint32_t timeoutMs) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Sock(sock), &writable);
    FD_SET(Sock(sock), &failed);
    timeval limit{};
    limit.tv_sec = static_cast<long>(timeoutMs / 1000);
    limit.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    const int ready = ::select(0, nullptr, &writable, &failed, &limit);
    if (ready == SOCKET_ERROR) {
        return -1;
    }
    if (ready == 0) {
        return Failed(WSAETIMEDOUT);
    }
    int soError = 0;
    int soLen = sizeof soError;
    if (::getsockopt(Sock(sock), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &soLen) !=
        0) {
        return -1;
    }
    if (soError != 0) {
        return Failed(soError);
    }
    if (FD_ISSET(Sock(sock), &failed)) {
        return Failed(WSAECONNREFUSED);
    }
    sockaddr_storage peer{};
    int peerLen = sizeof peer;
    if (::getpeername(Sock(sock), reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) {
        return -1;
    }
    return 0;
}

bool SWL_LocalAddress(SWL_SOCKET sock, SWL_ADDR& addr) {
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(Sock(sock), reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET) {
        return false;
    }
    addr.ip = ntohl(local.sin_addr.s_addr);
    addr.port = ntohs(local.sin_port);
    return true;
}

void SWL_PrintError(const char* source, int line) {
    // As perror prints it: "<source> <line> : <text of the last error>".
    const int err = ::WSAGetLastError();
    platform::ErrorPrintf("%s %d : %s\n", source, line, ErrorText(err).c_str());
    ::WSASetLastError(err);
}
