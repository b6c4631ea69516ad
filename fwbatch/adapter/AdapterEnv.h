#pragma once
// What adapter preparation takes from its surroundings: the network
// platform, the packet capture, the clock, the random numbers of the
// address walk and the probes' time limits. Every member defaults to the
// system's; tests replace them. A process without the network capabilities
// gets, for the network and the capture, the ones that go through the
// adapter helper (AdapterHelper.h).

#include <cstdint>
#include <functional>
#include <string>

#include "common/platform/Clock.h"
#include "common/platform/NetworkPlatform.h"
#include "common/platform/PacketCapture.h"

namespace fwbatch::adapter {

// The capture library's interface is a platform service.
using platform::CaptureDevice;
using platform::CaptureHandle;
using platform::CaptureOptions;
using platform::CaptureResult;
using platform::kCaptureFailed;
using platform::kCaptureOk;
using platform::kCapturePermissionDenied;
using platform::PacketCapture;
using platform::SystemCapture;

struct ProbeTiming {
    int searchReadTimeoutMs = 500;  // adapter search: read time-out of each capture
    int searchReads = 20;           // adapter search: reads per capture device
    int inUseReadTimeoutMs = 1000;  // address test: read time-out of the capture
    uint32_t inUseWindowMs = 1000;  // address test: how long answers are awaited
};

// What the probes met on the way, for callers that explain a decision.
struct ProbeReport {
    int capturesOpened = 0;
    bool permissionDenied = false;  // some capture device refused for lack of privilege
    std::string lastError;          // the capture library's last complaint
    int candidatesTested = 0;       // addresses the free-address walk tested
};

struct AdapterEnv {
    platform::NetworkPlatform* network = nullptr;  // null: platform::Network() or the helper's
    PacketCapture* capture = nullptr;              // null: SystemCapture() or the helper's
    platform::Clock* clock = nullptr;              // null: the system clock
    // Random numbers of the free-address walk; empty: a generator seeded
    // with the time at each walk.
    std::function<uint32_t()> random;
    ProbeTiming timing;
    ProbeReport* report = nullptr;  // when set, the probes note here what they met

    platform::NetworkPlatform& Network() const;
    PacketCapture& Capture() const;
    platform::Clock& Clock() const;
    // Notes a capture failure in the report (when there is one).
    void NoteCaptureFailure(int result, const std::string& error) const;
};

}  // namespace fwbatch::adapter
