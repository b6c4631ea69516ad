#include "common/platform/PacketCapture.h"

namespace platform {
namespace {

// The part from the last "{" to the last "}"; empty when there is none.
std::string BracedPart(const std::string& name) {
    const size_t open = name.rfind('{');
    const size_t close = name.rfind('}');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::string();
    }
    return name.substr(open, close - open + 1);
}

}  // namespace

bool CaptureDeviceIsAdapter(const std::string& deviceName, const std::string& adapterName) {
    if (deviceName.empty() || adapterName.empty()) {
        return false;
    }
    if (deviceName == adapterName) {
        return true;
    }
    const std::string braced = BracedPart(deviceName);
    return !braced.empty() && braced == BracedPart(adapterName);
}

}  // namespace platform
