// `camprep adapter prepare`: gives a local adapter an address in a camera's
// subnet when no adapter reaches the camera, as Fwbatch does before an
// upgrade, for the installer who wants to reach one camera by hand. Says
// what it decided at each step.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/CommandRegistry.h"
#include "common/platform/NetworkPlatform.h"
#include "fwbatch/adapter/AdapterHelper.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace {

namespace adapter = fwbatch::adapter;

struct PrepareArgs {
    std::string address;
    std::string mask;
    std::string mac;
    std::string firstAddress;
    std::string firstMask;
};

int Usage(const std::string& message) {
    std::fprintf(stderr, "camprep adapter prepare: %s\n", message.c_str());
    return cli::kExitUsage;
}

template <size_t N>
void CopyField(char (&field)[N], const std::string& text) {
    std::snprintf(field, N, "%s", text.c_str());
}

// An address and a contiguous mask; the usage message when they are not.
std::string CheckPair(const std::string& address, const std::string& mask) {
    uint32_t a = 0;
    uint32_t m = 0;
    if (!platform::ParseIPv4(address, a)) {
        return "not an IPv4 address: " + address;
    }
    if (!platform::ParseIPv4(mask, m) || platform::MaskToPrefixLength(m) < 0) {
        return "not a network mask: " + mask;
    }
    return "";
}

std::string Subnet(uint32_t address, uint32_t mask) {
    return platform::FormatIPv4(address & mask) + "/" +
           std::to_string(platform::MaskToPrefixLength(mask));
}

void PrintCaptureTrouble(const adapter::ProbeReport& probes) {
    if (probes.permissionDenied) {
        std::printf("packet capture: not permitted (%s), so no ARP probe was made\n",
                    platform::NetworkRights().capture);
    } else if (!probes.lastError.empty()) {
        std::printf("packet capture: %s\n", probes.lastError.c_str());
    }
}

// After an address was added: is the camera reachable through it now?
int CheckReachable(const adapter::PrepareTrace& trace, uint32_t added) {
    const std::string device = platform::FormatIPv4(trace.deviceAddress);
    if (!adapter::WaitForHostAddress(added)) {
        std::printf("the added address %s did not appear on %s: %s not reachable\n",
                    platform::FormatIPv4(added).c_str(), trace.adapter.name.c_str(),
                    device.c_str());
        return cli::kExitFailed;
    }
    adapter::ProbeReport probes;
    adapter::AdapterEnv env;
    env.report = &probes;
    if (adapter::IsAddressInUse(trace.deviceAddress, false, &trace.adapter, env)) {
        std::printf("reachable: %s answers on %s\n", device.c_str(), trace.adapter.name.c_str());
        return cli::kExitOk;
    }
    if (probes.permissionDenied) {
        std::printf(
            "reachable: %s is in the subnet of %s now (not confirmed: packet capture not "
            "permitted)\n",
            device.c_str(), trace.adapter.name.c_str());
        return cli::kExitOk;
    }
    std::printf("not reachable: %s does not answer on %s\n", device.c_str(),
                trace.adapter.name.c_str());
    return cli::kExitFailed;
}

int RunPrepare(const PrepareArgs& args) {
    std::string problem = CheckPair(args.address, args.mask);
    if (!problem.empty()) {
        return Usage(problem);
    }
    const bool firstAddressMode = !args.firstAddress.empty() || !args.firstMask.empty();
    if (firstAddressMode) {
        if (args.firstAddress.empty() || args.firstMask.empty()) {
            return Usage("--first-address and --first-mask go together");
        }
        problem = CheckPair(args.firstAddress, args.firstMask);
        if (!problem.empty()) {
            return Usage(problem);
        }
    }
    adapter::MacAddress mac{};
    if (!args.mac.empty() && !adapter::ParseMacText(args.mac.c_str(), mac)) {
        return Usage("not a MAC address (six hex pairs separated by ':' or '-'): " + args.mac);
    }

    SEARCH_DEVICE_INFO device{};
    CopyField(device.ip[0], firstAddressMode ? args.firstAddress : args.address);
    CopyField(device.mask[0], firstAddressMode ? args.firstMask : args.mask);
    CopyField(device.ip[1], args.address);
    CopyField(device.mask[1], args.mask);
    CopyField(device.mac, args.mac);

    adapter::PrepareTrace trace;
    uint32_t addressToUse = 0;
    uint32_t addressAdded = 0;
    const bool added =
        adapter::PrepareAdapter(device, addressToUse, addressAdded, firstAddressMode, &trace);
    const std::string target = platform::FormatIPv4(trace.deviceAddress);
    switch (trace.outcome) {
        case adapter::PrepareOutcome::kBadRecord:
            return Usage("the device's addresses could not be read");
        case adapter::PrepareOutcome::kFirstAddressLocal:
        case adapter::PrepareOutcome::kAlreadyLocal:
        case adapter::PrepareOutcome::kLoopback:
            std::printf("already reachable: %s is on a local subnet; nothing added\n",
                        target.c_str());
            return cli::kExitOk;
        case adapter::PrepareOutcome::kLinkLocal:
            std::printf("link-local: %s is reached through the link-local route; nothing added\n",
                        target.c_str());
            return cli::kExitOk;
        case adapter::PrepareOutcome::kNoAdapterList:
            std::printf("cannot read the adapter list: %s\n",
                        platform::NetResultText(trace.netResult));
            return cli::kExitFailed;
        case adapter::PrepareOutcome::kNoAdapter:
            std::printf("no network adapter is up: %s not reachable\n", target.c_str());
            return cli::kExitFailed;
        default:
            break;
    }

    std::printf("%s is in %s, which no adapter is in\n", target.c_str(),
                Subnet(trace.deviceAddress, trace.deviceMask).c_str());
    PrintCaptureTrouble(trace.probes);
    if (!trace.macKnown) {
        std::printf("no --mac given, so no adapter was searched by ARP probe\n");
    }
    std::printf("adapter: %s (index %u), %s\n", trace.adapter.name.c_str(), trace.adapter.index,
                adapter::AdapterChoiceText(trace.choice));
    if (trace.outcome == adapter::PrepareOutcome::kNoFreeAddress) {
        if (trace.probes.candidatesTested == 0) {
            std::printf("no free address: the mask leaves no host address to choose\n");
        } else {
            std::printf("no free address: %d candidate(s) of %s tested, all taken\n",
                        trace.probes.candidatesTested,
                        Subnet(trace.deviceAddress, trace.deviceMask).c_str());
        }
        return cli::kExitFailed;
    }
    const std::string chosen = platform::FormatIPv4(trace.chosenAddress) + "/" +
                               std::to_string(platform::MaskToPrefixLength(trace.deviceMask));
    std::printf("address chosen: %s (%d candidate(s) tested)\n", chosen.c_str(),
                trace.probes.candidatesTested);
    if (!added) {
        if (trace.netResult == platform::kNetPermissionDenied) {
            const std::string advice = adapter::RightsAdvice();
            std::printf("not added: this user may not change network addresses (%s)\n",
                        advice.empty() ? platform::NetworkRights().addresses : advice.c_str());
        } else {
            std::printf("not added: %s\n", platform::NetResultText(trace.netResult));
        }
        return cli::kExitFailed;
    }
    std::printf("added %s to %s\n", chosen.c_str(), trace.adapter.name.c_str());
    return CheckReachable(trace, addressAdded);
}

const cli::CommandRegistrar kAdapter("adapter", [](CLI::App& app) {
    auto args = std::make_shared<PrepareArgs>();
    CLI::App* sub =
        app.add_subcommand("adapter", "Prepare a local network adapter to reach a device");
    sub->require_subcommand(1);
    CLI::App* prepare = sub->add_subcommand(
        "prepare",
        "Add a free address of the device's subnet to the adapter that reaches it, unless an\n"
        "adapter is in that subnet already or the address is link-local. The adapter is the one\n"
        "on which the device (--mac) answers an ARP probe, else the first physical adapter that\n"
        "is up. The address stays after camprep ends. Needs " +
            std::string(platform::NetworkRights().both) +
            "; without them camprep asks the adapter helper, which members of the group camprep may\n"
            "run (Linux).\n"
            "Exit status: 0 the device is reachable, 1 it is not, 2 bad usage.");
    prepare->add_option("--address", args->address, "The device's address")->required();
    prepare->add_option("--mask", args->mask, "The device's network mask")->required();
    prepare->add_option("--mac", args->mac, "The device's MAC address, for the ARP probe");
    prepare->add_option("--first-address", args->firstAddress,
                        "The device's first address: nothing is done when it is on a local subnet");
    prepare->add_option("--first-mask", args->firstMask, "The mask of --first-address");
    return [args] { return RunPrepare(*args); };
});

}  // namespace
