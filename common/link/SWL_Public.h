#pragma once
// The socket layer: the one place the device link meets the system's
// sockets. It has its own handle, address and error types, so nothing above
// it names a system type or reads errno. SWL_Public.cpp is the POSIX
// implementation, SWL_PublicWin.cpp the Winsock 2 one; a port to another
// system replaces them (and common/platform/) and nothing else.
//
// Contracts the link was built on: use-counted start and stop, non-blocking
// TCP sockets with address reuse, a connect with a time-out, the "would
// block" test, plus the error print every module of the link shares.
//
// Sends never raise a signal: a device that closes its end gives -1
// (SWL_ERROR::BrokenPipe) instead of ending the process.

#include <cstddef>
#include <cstdint>

#include "common/platform/WakeEvent.h"

// Source names used in the error prints, as the link's modules know them.
inline constexpr const char* kSwlPublicSource = "..\\Common\\SWL_Public";
inline constexpr const char* kSwlTcpLinkSource = "..\\Common\\SWL_TCPLink";
inline constexpr const char* kSwlConnectProcSource = "..\\Common\\SWL_ConnectProc";

// A socket: an integer-like handle, compared only with SWL_INVALID_SOCKET.
// A descriptor on Linux; on Windows a SOCKET, 64 bits wide, whose invalid
// value has every bit set.
#if defined(_WIN32)
using SWL_SOCKET = std::uintptr_t;
inline constexpr SWL_SOCKET SWL_INVALID_SOCKET = ~std::uintptr_t{0};
#else
using SWL_SOCKET = int;
inline constexpr SWL_SOCKET SWL_INVALID_SOCKET = -1;
#endif

// An IPv4 endpoint, both fields in host byte order.
struct SWL_ADDR {
    uint32_t ip = 0;
    uint16_t port = 0;
};

// Why the calling thread's last socket call failed.
enum class SWL_ERROR {
    None,
    WouldBlock,
    InProgress,
    AlreadyConnected,
    Interrupted,
    TimedOut,
    ConnectionRefused,
    ConnectionReset,
    ConnectionAborted,
    BrokenPipe,
    NotConnected,
    AddressInUse,
    AddressNotAvailable,
    NetworkUnreachable,
    HostUnreachable,
    InvalidArgument,
    NoResources,
    AccessDenied,
    Other,
};

// The error of the calling thread's last failed socket call.
SWL_ERROR SWL_LastError();
// The system's own number of that error, for diagnostics prints only.
int SWL_LastErrorCode();
// Makes e the calling thread's last error (the link's own failures, such as
// a refused argument, report the same way as the system's).
void SWL_SetLastError(SWL_ERROR e);
// Maps a system error number onto SWL_ERROR (0 is None); the mapping
// SWL_LastError uses, public so that it can be tested on its own.
SWL_ERROR SWL_ErrorFromSystem(int systemError);

// Parses dotted IPv4 text into out (port as given); false when the text is
// not an IPv4 address.
bool SWL_MakeAddr(const char* dotted, uint16_t port, SWL_ADDR& out);

// Process-wide use count, so that start and stop pair up. 0 on success.
// On Windows the first start starts Winsock 2.2 and the last stop stops it;
// a failed start returns 1 after printing "%s %d last errno = %d\n" with
// line 75, a failed stop line 99. POSIX sockets need neither, so there both
// always succeed.
int SWL_Init();
// 0; the count goes down unless it is already 0.
int SWL_Quit();
// The current use count (for tests and sanity checks).
int SWL_UseCount();

// A socket with SO_REUSEADDR on, non-blocking and close-on-exec; invalid on
// failure (a failed SO_REUSEADDR prints line 122). The arguments are the
// system's own family, type and protocol numbers, for callers that choose
// them (tests); the link itself asks for SWL_CreateTcpSocket.
SWL_SOCKET SWL_CreateSocket(int iDomain, int iType, int iProtocol);
// The same for an IPv4 TCP socket.
SWL_SOCKET SWL_CreateTcpSocket();
// Closes the socket and sets the handle to SWL_INVALID_SOCKET. 0 or -1.
int SWL_CloseSocket(SWL_SOCKET& sock);
// Closes only.
int SWL_Close(SWL_SOCKET sock);
// Shuts both directions down.
int SWL_Shutdown(SWL_SOCKET sock);
int SWL_Bind(SWL_SOCKET sock, const SWL_ADDR& addr);
// Byte count or -1 (SWL_LastError tells why).
int SWL_Send(SWL_SOCKET sock, const void* data, int len);
int SWL_Recv(SWL_SOCKET sock, void* buffer, int len);
// The same, never waiting even on a blocking socket.
int SWL_RecvNow(SWL_SOCKET sock, void* buffer, int len);

// One piece of a gathered send.
struct SWL_BUF {
    const void* data;
    size_t length;
};
// Sends the pieces in order in one call, never waiting; the byte count
// taken (possibly fewer than all) or -1.
long SWL_SendPartsNow(SWL_SOCKET sock, const SWL_BUF* parts, size_t count);

// Waits until the socket can be read (or written, forWrite), the wake event
// is set, or the time is up. >0 something is ready, 0 time-out, -1 error.
int SWL_WaitSocket(SWL_SOCKET sock, bool forWrite, const platform::WakeEvent& wake,
                   uint32_t timeoutMs);

// True when the last socket call failed only because it would block.
bool SWL_WouldBlock();

// 0 connected (also when the socket was already connected), -1 not (yet)
// connected. A time-out of 0 starts the connect and returns -1 at once; the
// caller then waits with SWL_WaitConnected.
int SWL_Connect(SWL_SOCKET sock, const SWL_ADDR& serverAddr, uint32_t timeoutMs);
// 0 when the socket's connect completed successfully within the time, else
// -1 (SWL_LastError tells why: TimedOut, or the connect's own error).
int SWL_WaitConnected(SWL_SOCKET sock, uint32_t timeoutMs);

// The socket's own IPv4 address; false when it has none.
bool SWL_LocalAddress(SWL_SOCKET sock, SWL_ADDR& addr);

// Prints "<source> <line> : <error text>" on the error output
// (platform::PrintError).
void SWL_PrintError(const char* source, int line);
