// camprep-adapter-helper: the one privileged step of adapter preparation,
// for users of the group that may prepare adapters. Installed with the
// file capabilities cap_net_admin and cap_net_raw and runnable only by root
// and the group; it checks who called it, reads its arguments strictly,
// keeps only the capabilities its task needs and says what it did.
#include <cstdio>
#include <string>
#include <vector>

#include "common/platform/NetworkPlatform.h"
#include "common/platform/PacketCapture.h"
#include "common/platform/Privileges.h"
#include "fwbatch/adapter/AdapterHelper.h"
#include "fwbatch/adapter/AdapterPreparation.h"
#include "fwbatch/adapter/HelperRequest.h"

namespace {

namespace adapter = fwbatch::adapter;

int Fail(int status, const std::string& text) {
    std::fprintf(stderr, "camprep-adapter-helper: %s\n", text.c_str());
    return status;
}

int ProbeFailure(const adapter::ProbeReport& report) {
    if (report.permissionDenied) {
        return Fail(adapter::kHelperNoCapabilities,
                    "cannot capture: installed without the capability cap_net_raw");
    }
    return Fail(adapter::kHelperRefused, "the probe could not be made: " + report.lastError);
}

// One probe for the request's address on its interface, with the system's
// own capture and network, never the helper's (it would call itself when
// its capabilities are missing).
adapter::ProbeResult ProbeFor(const adapter::HelperRequest& r, adapter::MacAddress& from,
                              adapter::ProbeReport& report) {
    adapter::AdapterEnv env;
    env.network = &platform::SystemNetwork();
    env.capture = &platform::SystemCapture();
    env.report = &report;
    return adapter::ProbeForOtherStation(r.address, r.adapter, &from, env);
}

int Probe(const adapter::HelperRequest& r) {
    adapter::ProbeReport report;
    adapter::MacAddress from{};
    const adapter::ProbeResult result = ProbeFor(r, from, report);
    if (result == adapter::ProbeResult::kNotProbed) {
        return ProbeFailure(report);
    }
    const bool answered = result == adapter::ProbeResult::kAnswered;
    std::printf("%s\n",
                adapter::ProbeAnswerText(r.adapter.name, r.address, answered, from).c_str());
    return adapter::kHelperDone;
}

int Add(const adapter::HelperRequest& r) {
    const std::string address = platform::FormatIPv4(r.address) + "/" +
                                std::to_string(platform::MaskToPrefixLength(r.mask));
    // Never an address another station holds, whoever asks.
    adapter::ProbeReport report;
    adapter::MacAddress from{};
    const adapter::ProbeResult probed = ProbeFor(r, from, report);
    if (probed == adapter::ProbeResult::kNotProbed) {
        return ProbeFailure(report);
    }
    if (probed == adapter::ProbeResult::kAnswered) {
        return Fail(adapter::kHelperRefused, platform::FormatIPv4(r.address) + " is in use by " +
                                                 adapter::FormatMacText(from) + ": not added");
    }
    const int added = platform::SystemNetwork().AddIPAddress(r.adapter.index, r.address, r.mask);
    switch (added) {
        case platform::kNetOk:
            std::printf("added %s to %s\n", address.c_str(), r.adapter.name.c_str());
            return adapter::kHelperDone;
        case platform::kNetAlreadyExists:
            std::printf("%s is on %s already\n", address.c_str(), r.adapter.name.c_str());
            return adapter::kHelperAlreadyThere;
        case platform::kNetPermissionDenied:
            return Fail(adapter::kHelperNoCapabilities,
                        "cannot add addresses: installed without the capability cap_net_admin");
        default:
            return Fail(adapter::kHelperRefused, address + " not added to " + r.adapter.name +
                                                     ": " + platform::NetResultText(added));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!platform::RunningAsRoot() && !platform::ProcessInGroup(adapter::kAdapterGroup)) {
        return Fail(adapter::kHelperNotInGroup,
                    std::string("only root and members of the group \"") + adapter::kAdapterGroup +
                        "\" may prepare adapters");
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<platform::AdapterInfo> adapters;
    const int listed = platform::SystemNetwork().GetAdapters(adapters);
    if (listed != platform::kNetOk) {
        return Fail(adapter::kHelperRefused,
                    std::string("cannot read the interfaces: ") + platform::NetResultText(listed));
    }
    adapter::HelperRequest request;
    const std::string problem = adapter::ReadHelperRequest(args, adapters, request);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s", adapter::kHelperUsageText);
        return Fail(adapter::kHelperUsage, problem);
    }
    // A probe needs only raw frames; adding needs both.
    const bool add = request.task == adapter::HelperTask::kAdd;
    if (!platform::KeepNetworkCapabilities(add, true)) {
        return Fail(adapter::kHelperNoCapabilities,
                    "installed without its capabilities (cap_net_admin, cap_net_raw)");
    }
    return add ? Add(request) : Probe(request);
}
