#include "fwbatch/adapter/AdapterEnv.h"

#include "common/platform/Diagnostics.h"
#include "fwbatch/adapter/AdapterHelper.h"

namespace fwbatch::adapter {

// A process that may not change addresses or capture frames itself (a
// user's window or command) takes the privileged steps to the helper.
platform::NetworkPlatform& AdapterEnv::Network() const {
    if (network != nullptr) {
        return *network;
    }
    return UseHelper() ? HelperNetwork() : platform::Network();
}

PacketCapture& AdapterEnv::Capture() const {
    if (capture != nullptr) {
        return *capture;
    }
    return UseHelper() ? HelperCapture() : SystemCapture();
}

platform::Clock& AdapterEnv::Clock() const {
    return clock != nullptr ? *clock : platform::SystemClock();
}

void AdapterEnv::NoteCaptureFailure(int result, const std::string& error) const {
    platform::DiagPrintf("packet capture failed (%d): %s\n", result, error.c_str());
    if (report != nullptr) {
        report->lastError = error;
        report->permissionDenied = report->permissionDenied || result == kCapturePermissionDenied;
    }
}

}  // namespace fwbatch::adapter
