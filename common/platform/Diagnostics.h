#pragma once
// The diagnostics channel: where the programs write what the Windows build
// sends to the debugger output. Silent unless switched on, either by the
// environment variable CAMPREP_DIAG (any non-empty value other than "0"
// writes to standard error; an absolute path appends to that file; "file"
// appends to PROGRAM.log in the user's state folder, by default
// ~/.local/state/camprep/) or by installing a sink (tests do). Thread-safe.
// Passwords never go here.

#include <functional>
#include <string>

// printf-style checking of the format texts; MinGW's C library is told to
// follow C99's printf (as GNU's does), not the Windows run-time's.
#if defined(__MINGW32__)
#define CAMPREP_PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define CAMPREP_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#endif

namespace platform {

using DiagSink = std::function<void(const std::string& text)>;

// Printing leaves the calling thread's last system error as it was.
//
// Writes a printf-style text to the channel when it is on. The text is
// passed on as formatted: callers add their own line ends, so the
// diagnostics keep the exact texts the programs have always written.
void DiagPrintf(const char* format, ...) CAMPREP_PRINTF_LIKE(1, 2);

// Writes text unchanged.
void DiagWrite(const std::string& text);

// True when something listens: callers may skip building expensive texts
// (hex dumps) when it is off.
bool DiagEnabled();

// Error prints: the few texts the programs always show on standard error
// (a socket call that failed, a missing cipher): "source line : reason"
// lines on standard error. Written whether or not the channel is on, and
// kept here so a port sends them wherever its system wants them.
void ErrorPrintf(const char* format, ...) CAMPREP_PRINTF_LIKE(1, 2);

// Replaces the sink; an empty function restores the environment's choice.
// Returns the sink that was installed before.
DiagSink SetDiagSink(DiagSink sink);

}  // namespace platform
