// The caller's side of the adapter helper: where it is, who may run it, and
// the capture and network that hand the privileged steps to it.
#include "fwbatch/adapter/AdapterHelper.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/platform/ChildProcess.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/Privileges.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace fwbatch::adapter {
namespace {

// A probe waits a second for its answer; the rest is the program's start.
constexpr uint32_t kHelperLimitMs = 15000;

constexpr const char* kAnsweredBy = ": answered by ";

platform::ChildRun RunHelper(const std::vector<std::string>& args) {
    const std::string path = HelperPath();
    platform::ChildRun run = platform::RunChild(path, args, kHelperLimitMs);
    std::string line = path;
    for (const std::string& a : args) {
        line += " " + a;
    }
    platform::DiagPrintf("adapter helper: %s: %s%s%s (exit %d)\n", line.c_str(), run.out.c_str(),
                         run.err.c_str(), run.timedOut ? " (killed at the time limit)" : "",
                         run.exitStatus);
    return run;
}

// One probe through the helper; the answer, if any, is read back as a frame.
class HelperProbeHandle : public platform::CaptureHandle {
public:
    explicit HelperProbeHandle(std::string device) : m_device(std::move(device)) {}

    bool Send(const uint8_t* frame, size_t length) override {
        uint32_t target = 0;
        if (m_sent || !ReadArpProbeTarget(frame, length, target)) {
            return false;  // the helper sends nothing but one probe
        }
        m_sent = true;
        const platform::ChildRun run =
            RunHelper({kHelperProbe, m_device, platform::FormatIPv4(target)});
        if (run.exitStatus != kHelperDone) {
            return false;
        }
        MacAddress from{};
        if (ReadProbeAnswer(run.out, from)) {
            MacAddress to{};
            std::copy(frame + 6, frame + 12, to.begin());
            m_answer = BuildArpReply(from, target, to);
            m_haveAnswer = true;
        }
        return true;
    }

    int Next(const uint8_t*& frame, size_t& length) override {
        if (!m_haveAnswer) {
            return -1;  // the helper has waited already: nothing more comes
        }
        m_haveAnswer = false;
        frame = m_answer.data();
        length = m_answer.size();
        return 1;
    }

private:
    std::string m_device;
    bool m_sent = false;
    bool m_haveAnswer = false;
    ArpProbeFrame m_answer{};
};

class HelperCaptureImpl : public platform::PacketCapture {
public:
    // Listing the capture devices needs no privilege.
    int FindAllDevices(std::vector<platform::CaptureDevice>& devices, std::string& error) override {
        return platform::SystemCapture().FindAllDevices(devices, error);
    }
    int Open(const std::string& device, const platform::CaptureOptions&,
             std::unique_ptr<platform::CaptureHandle>& handle, std::string& error) override {
        if (CheckHelperAccess() != HelperAccess::kUsable) {
            error = RightsAdvice();
            return platform::kCapturePermissionDenied;
        }
        handle = std::make_unique<HelperProbeHandle>(device);
        return platform::kCaptureOk;
    }
};

class HelperNetworkImpl : public platform::NetworkPlatform {
public:
    int GetAdapters(std::vector<platform::AdapterInfo>& adapters) override {
        return platform::Network().GetAdapters(adapters);
    }
    bool IsNetworkAlive() override { return platform::Network().IsNetworkAlive(); }
    int AddRoute(const platform::Ipv4Route& route) override {
        return platform::Network().AddRoute(route);
    }
    bool IsPhysicalAdapter(const std::string& name) override {
        return platform::Network().IsPhysicalAdapter(name);
    }
    std::string NeighbourMac(uint32_t address) override {
        return platform::Network().NeighbourMac(address);
    }

    int AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) override {
        std::vector<platform::AdapterInfo> adapters;
        const int listed = platform::Network().GetAdapters(adapters);
        if (listed != platform::kNetOk) {
            return listed;
        }
        std::string name;
        for (const platform::AdapterInfo& a : adapters) {
            name = a.index == ifIndex ? a.name : name;
        }
        if (name.empty()) {
            return platform::kNetNoSuchAdapter;
        }
        const platform::ChildRun run = RunHelper(
            {kHelperAdd, name, platform::FormatIPv4(address), platform::FormatIPv4(mask)});
        if (!run.started) {
            return platform::kNetPermissionDenied;  // not ours to run (not in the group)
        }
        switch (run.exitStatus) {
            case kHelperDone:
                return platform::kNetOk;
            case kHelperAlreadyThere:
                return platform::kNetAlreadyExists;
            case kHelperNotInGroup:
                return platform::kNetPermissionDenied;
            case kHelperUsage:
                return platform::kNetInvalidArgument;
            case kHelperNoCapabilities:
                // A broken installation: no caller's message would explain it.
                platform::ErrorPrintf("%s", run.err.c_str());
                return platform::kNetSystemError;
            default:
                // Taken or refused: the helper's own words went to the
                // diagnostics channel.
                return platform::kNetSystemError;
        }
    }
};

}  // namespace

std::string HelperPath() {
    const char* chosen = std::getenv("CAMPREP_ADAPTER_HELPER");
    if (chosen != nullptr && chosen[0] != '\0') {
        return chosen;
    }
    const std::string self = platform::ExecutablePath();
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash + 1) + kHelperFromBin;
}

HelperAccess CheckHelperAccess() {
    const std::string path = HelperPath();
    if (path.empty() || !platform::PathExists(path)) {
        return HelperAccess::kMissing;
    }
    // The helper asks the same of its caller.
    const bool allowed = platform::RunningAsRoot() || platform::ProcessInGroup(kAdapterGroup);
    return allowed && platform::CanExecute(path) ? HelperAccess::kUsable
                                                 : HelperAccess::kNotInGroup;
}

bool UseHelper() {
    static const bool use =
        !platform::HasNetworkPrivileges() && CheckHelperAccess() != HelperAccess::kMissing;
    return use;
}

platform::PacketCapture& HelperCapture() {
    static HelperCaptureImpl capture;
    return capture;
}

platform::NetworkPlatform& HelperNetwork() {
    static HelperNetworkImpl network;
    return network;
}

bool RefusedForRights(const PrepareTrace& trace) {
    return trace.outcome == PrepareOutcome::kAddRefused &&
           trace.netResult == platform::kNetPermissionDenied;
}

std::string RightsAdvice() {
    if (platform::HasNetworkPrivileges()) {
        return std::string();
    }
    const std::string group = kAdapterGroup;
    switch (CheckHelperAccess()) {
        case HelperAccess::kUsable:
            return std::string();
        case HelperAccess::kNotInGroup:
            return "adding network addresses needs membership of the group \"" + group +
                   "\": ask an administrator to run \"sudo adduser " + platform::UserName() + " " +
                   group + "\", then log out and in again";
        case HelperAccess::kMissing:
            break;
    }
    return "adding network addresses needs root, or the package " + std::string(kHelperPackage) +
           " and membership of its group \"" + group + "\"";
}

std::string ProbeAnswerText(const std::string& interfaceName, uint32_t address, bool answered,
                            const MacAddress& answeredBy) {
    const std::string head = "probe " + platform::FormatIPv4(address) + " on " + interfaceName;
    return answered ? head + kAnsweredBy + FormatMacText(answeredBy) : head + ": no answer";
}

bool ReadProbeAnswer(const std::string& out, MacAddress& answeredBy) {
    const size_t at = out.find(kAnsweredBy);
    if (out.rfind("probe ", 0) != 0 || at == std::string::npos) {
        return false;
    }
    std::string mac = out.substr(at + std::char_traits<char>::length(kAnsweredBy));
    mac.erase(mac.find_last_not_of("\r\n") + 1);
    return ParseMacText(mac.c_str(), answeredBy);
}

}  // namespace fwbatch::adapter
