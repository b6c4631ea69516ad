#include "common/session/LoginProbe.h"

#include <memory>

#include "common/session/DeviceInfo.h"
#include "common/session/ReachDevice.h"
#include "common/session/SessionResults.h"

namespace session {
namespace {

int IgnoreEvents(void*, CNetDevice*, int, int, const void*, uint32_t) {
    return 0;
}

}  // namespace

int ProbeLogin(const char* address, uint16_t port, const char* user, const char* password,
               const LoginProbeLimits& limits, const ConnectProcEnv& env, const SessionOptions& options,
               ConnectCancel* cancel, uint32_t& softwareVersion) {
    uint8_t greeting[DeviceGreeting::kSize] = {};
    TcpLinkPtr link = ReachDevice(address, port, limits.connectMs, limits.greetingMs, env, cancel, greeting);
    if (!link) {
        return kLinkFailed;
    }
    int error = 0;
    // Cancelling breaks the live link; the guard ends before the session.
    const CancelLinkGuard guard(cancel, link.get());
    const std::unique_ptr<CNetDVSDevice, NetDeviceReleaser> device(
        CreateNetDevice(link, greeting, &IgnoreEvents, nullptr, error, options));
    if (!device) {
        return kLinkFailed;
    }
    NET_DEVICE_INFO info;
    const int login = device->Login(user, password, info);
    if (login == kOk) {
        softwareVersion = info.softwareVersion;
    }
    return login;
}

}  // namespace session
