#include "fwbatch/adapter/AdapterEnv.h"

#include "common/platform/Diagnostics.h"

namespace fwbatch::adapter {

platform::NetworkPlatform& AdapterEnv::Network() const {
    return network != nullptr ? *network : platform::Network();
}

PacketCapture& AdapterEnv::Capture() const {
    return capture != nullptr ? *capture : SystemCapture();
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
