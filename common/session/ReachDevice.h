#pragma once
// The first step of every worker that talks to a device: connect to its
// command port with the connection procedure and read the device's 64-byte
// greeting, each within its own limit.

#include <cstdint>

#include "common/link/ConnectCancel.h"
#include "common/link/SWL_ConnectProc.h"
#include "common/link/SWL_TCPLink.h"
#include "common/session/DeviceGreeting.h"

// The link that read the greeting, or null (nothing left open) when the
// address is empty or not IPv4, the connection failed, the greeting did not
// come whole within greetingMs, or the attempt was cancelled.
TcpLinkPtr ReachDevice(const char* address, uint16_t port, uint32_t connectMs, uint32_t greetingMs,
                       const ConnectProcEnv& env, ConnectCancel* cancel,
                       uint8_t (&greeting)[DeviceGreeting::kSize]);
