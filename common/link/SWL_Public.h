#pragma once
// The socket layer: a thin layer over POSIX sockets with the contracts the
// device link was built on (use-counted start and stop, non-blocking TCP
// sockets with address reuse, a connect with a time-out, the "would block"
// test), plus the error print every module of the link shares.
//
// Sends never raise SIGPIPE: every send passes MSG_NOSIGNAL, so a device that
// closes its end gives -1 (EPIPE) instead of ending the process.

#include <sys/socket.h>

#include <cstdint>

// Source names used in the error prints, as the link's modules know them.
inline constexpr const char* kSwlPublicSource = "..\\Common\\SWL_Public";
inline constexpr const char* kSwlTcpLinkSource = "..\\Common\\SWL_TCPLink";
inline constexpr const char* kSwlConnectProcSource = "..\\Common\\SWL_ConnectProc";

// Process-wide use count, so that start and stop pair up. 0 on success.
// (Where a socket library must be started, a failed start returns 1 after
// printing "%s %d last errno = %d\n" with line 75, a failed stop line 99;
// POSIX sockets need neither, so here both always succeed.)
int SWL_Init();
// 0; the count goes down unless it is already 0.
int SWL_Quit();
// The current use count (for tests and sanity checks).
int SWL_UseCount();

// A socket with SO_REUSEADDR on, non-blocking and close-on-exec; -1 on
// failure (a failed SO_REUSEADDR prints line 122).
int SWL_CreateSocket(int iDomain, int iType, int iProtocol);
// Closes the socket and sets the handle to -1. Returns close()'s result.
int SWL_CloseSocket(int& sock);
// Closes only.
int SWL_Close(int sock);
int SWL_Shutdown(int sock, int how);
int SWL_Bind(int sock, const sockaddr* addr, socklen_t len);
// Byte count or -1 (errno set). Sends use MSG_NOSIGNAL.
int SWL_Send(int sock, const void* data, int len);
int SWL_Recv(int sock, void* buffer, int len);

// True when the last socket call failed only because it would block.
bool SWL_WouldBlock();

// 0 connected (also when the socket was already connected), -1 not (yet)
// connected. A time-out of 0 starts the connect and returns -1 at once; the
// caller then waits with SWL_WaitConnected.
int SWL_Connect(int sock, const sockaddr* pServAddr, socklen_t len, uint32_t timeoutMs);
// 0 when the socket's connect completed successfully within the time, else
// -1 (errno tells why: ETIMEDOUT, or the connect's own error).
int SWL_WaitConnected(int sock, uint32_t timeoutMs);

// Prints "<source> <line> : <errno text>" to standard error.
void SWL_PrintError(const char* source, int line);
