#pragma once
// Reaching a device by its address alone: connect, read the greeting, log
// in and keep what the login tells (the software version), then let go.
// Used to check a device that came back after an upgrade and to add a
// device the search cannot see.

#include <cstdint>

#include "common/link/ConnectCancel.h"
#include "common/link/SWL_ConnectProc.h"
#include "common/session/CNetDVSDevice.h"

namespace session {

struct LoginProbeLimits {
    uint32_t connectMs = 3000;
    uint32_t greetingMs = 5000;
};

// kOk with the device's software version (four parts, the first in the top
// byte); kLinkFailed when no session came about (no connection, no
// greeting in time, a protocol without a session, cancelled); otherwise the
// login's own result (kLoginWrongCredentials, kLoginTooManyConnections,
// kLoginRefused13, kLoginCredentialTooLong, ...).
int ProbeLogin(const char* address, uint16_t port, const char* user, const char* password,
               const LoginProbeLimits& limits, const ConnectProcEnv& env, const SessionOptions& options,
               ConnectCancel* cancel, uint32_t& softwareVersion);

}  // namespace session
