// The two ARP probes: which adapter reaches a device, and whether an
// address is taken.
#include <algorithm>

#include "common/platform/Diagnostics.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace fwbatch::adapter {
namespace {

// The adapter a capture device stands for (Windows' capture names wrap the
// adapter's GUID: "\\Device\\NPF_{GUID}" for the adapter "{GUID}").
const platform::AdapterInfo* FindByDevice(const std::vector<platform::AdapterInfo>& adapters,
                                          const std::string& deviceName) {
    for (const auto& adapter : adapters) {
        if (platform::CaptureDeviceIsAdapter(deviceName, adapter.name)) {
            return &adapter;
        }
    }
    return nullptr;
}

bool IsLocalAddress(uint32_t address, const AdapterEnv& env) {
    std::vector<platform::AdapterInfo> adapters;
    if (platform::GetAdapterList(env.Network(), adapters) != platform::kNetOk) {
        return false;
    }
    for (const auto& adapter : adapters) {
        for (const auto& local : adapter.addresses) {
            if (local.address == address) {
                return true;
            }
        }
    }
    return false;
}

bool ListCaptureDevices(std::vector<CaptureDevice>& devices, const AdapterEnv& env) {
    std::string error;
    const int rc = env.Capture().FindAllDevices(devices, error);
    if (rc != kCaptureOk) {
        env.NoteCaptureFailure(rc, error);
        return false;
    }
    return true;
}

// Opens a capture on the adapter's device and sends a probe for target.
// Null (the failure noted) when either fails.
std::unique_ptr<CaptureHandle> OpenAndProbe(const platform::AdapterInfo& adapter,
                                            const std::string& device, uint32_t target,
                                            const CaptureOptions& options, const AdapterEnv& env) {
    std::unique_ptr<CaptureHandle> handle;
    std::string error;
    const int rc = env.Capture().Open(device, options, handle, error);
    if (rc != kCaptureOk || !handle) {
        env.NoteCaptureFailure(rc, adapter.name + ": " + error);
        return nullptr;
    }
    if (env.report != nullptr) {
        ++env.report->capturesOpened;
    }
    const ArpProbeFrame frame = BuildArpProbe(adapter.hardwareAddress, target);
    if (!handle->Send(frame.data(), frame.size())) {
        env.NoteCaptureFailure(kCaptureFailed, adapter.name + ": the probe could not be sent");
        return nullptr;
    }
    return handle;
}

}  // namespace

const platform::AdapterInfo* FallbackAdapter(const std::vector<platform::AdapterInfo>& adapters,
                                             AdapterChoice& choice, const AdapterEnv& env) {
    const platform::AdapterInfo* firstUp = nullptr;
    for (const auto& adapter : adapters) {
        if (!adapter.up) {
            continue;
        }
        if (IsPhysicalAdapter(adapter, env)) {
            choice = AdapterChoice::kFirstPhysical;
            return &adapter;
        }
        if (firstUp == nullptr) {
            firstUp = &adapter;
        }
    }
    choice = firstUp != nullptr ? AdapterChoice::kFirstInList : AdapterChoice::kNone;
    return firstUp;
}

const platform::AdapterInfo* FindAdapterForDevice(
    const std::vector<platform::AdapterInfo>& adapters, uint32_t deviceAddress,
    const MacAddress& deviceMac, const AdapterEnv& env) {
    std::vector<CaptureDevice> devices;
    if (!ListCaptureDevices(devices, env)) {
        return nullptr;
    }
    CaptureOptions options;
    options.snapLength = 100;
    options.promiscuous = false;
    options.readTimeoutMs = env.timing.searchReadTimeoutMs;
    for (const CaptureDevice& device : devices) {
        const platform::AdapterInfo* adapter = FindByDevice(adapters, device.name);
        if (adapter == nullptr || !adapter->up || !IsPhysicalAdapter(*adapter, env)) {
            continue;
        }
        std::unique_ptr<CaptureHandle> handle =
            OpenAndProbe(*adapter, device.name, deviceAddress, options, env);
        if (!handle) {
            continue;
        }
        for (int read = 0; read < env.timing.searchReads; ++read) {
            const uint8_t* frame = nullptr;
            size_t length = 0;
            const int got = handle->Next(frame, length);
            if (got < 0) {
                break;
            }
            if (got == 1 && IsArpAnswerFrom(frame, length, deviceAddress, deviceMac)) {
                platform::DiagPrintf("device %s answers on %s\n",
                                     platform::FormatIPv4(deviceAddress).c_str(),
                                     adapter->name.c_str());
                return adapter;
            }
        }
    }
    return nullptr;
}

ProbeResult ProbeForOtherStation(uint32_t address, const platform::AdapterInfo& adapter,
                                 MacAddress* answeredBy, const AdapterEnv& env, const std::string& device) {
    CaptureOptions options;
    options.snapLength = 100;
    options.promiscuous = true;
    options.readTimeoutMs = env.timing.inUseReadTimeoutMs;
    std::unique_ptr<CaptureHandle> handle =
        OpenAndProbe(adapter, device.empty() ? adapter.name : device, address, options, env);
    if (!handle) {
        return ProbeResult::kNotProbed;
    }
    platform::Clock& clock = env.Clock();
    const uint64_t start = clock.TickMs();
    while (clock.TickMs() - start < env.timing.inUseWindowMs) {
        const uint8_t* frame = nullptr;
        size_t length = 0;
        const int got = handle->Next(frame, length);
        if (got < 0) {
            break;
        }
        ArpReply reply;
        if (got == 1 && ReadArpReply(frame, length, reply) && reply.senderAddress == address &&
            reply.ethernetSource != adapter.hardwareAddress) {
            if (answeredBy != nullptr) {
                *answeredBy = reply.ethernetSource;
            }
            return ProbeResult::kAnswered;
        }
    }
    return ProbeResult::kNoAnswer;
}

bool IsAddressInUse(uint32_t address, bool checkLocal, const platform::AdapterInfo* adapter,
                    const AdapterEnv& env) {
    if (checkLocal && IsLocalAddress(address, env)) {
        return true;
    }
    std::vector<platform::AdapterInfo> fresh;
    if (adapter == nullptr) {
        if (platform::GetAdapterList(env.Network(), fresh) != platform::kNetOk) {
            return false;
        }
        AdapterChoice choice = AdapterChoice::kNone;
        adapter = FallbackAdapter(fresh, choice, env);
        if (adapter == nullptr) {
            return false;
        }
    }
    // The capture device is found by the adapter's name (on Windows: by one
    // of its addresses), so an adapter without an IPv4 address is probed too.
    std::vector<CaptureDevice> devices;
    if (!ListCaptureDevices(devices, env)) {
        return false;
    }
    const auto listed = std::find_if(devices.begin(), devices.end(), [&](const CaptureDevice& d) {
        return platform::CaptureDeviceIsAdapter(d.name, adapter->name);
    });
    if (listed == devices.end()) {
        return false;
    }
    return ProbeForOtherStation(address, *adapter, nullptr, env, listed->name) == ProbeResult::kAnswered;
}

}  // namespace fwbatch::adapter
