// PrepareAdapter: decides whether a device needs an address added, and
// where, and adds it.
#include <cstring>

#include "common/platform/ByteOrder.h"
#include "common/platform/Diagnostics.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace fwbatch::adapter {
namespace {

// The record's fixed field as a text, never reading past its end.
std::string FieldText(const char* field, size_t capacity) {
    return std::string(field, strnlen(field, capacity));
}

bool ParsePair(const char (&address)[20], const char (&mask)[20], uint32_t& outAddress,
               uint32_t& outMask) {
    return platform::ParseIPv4(FieldText(address, sizeof address), outAddress) &&
           platform::ParseIPv4(FieldText(mask, sizeof mask), outMask);
}

bool Finish(PrepareTrace& trace, PrepareOutcome outcome) {
    trace.outcome = outcome;
    platform::DiagPrintf("adapter preparation for %s: %s\n",
                         platform::FormatIPv4(trace.deviceAddress).c_str(),
                         PrepareOutcomeText(outcome));
    return outcome == PrepareOutcome::kAdded;
}

}  // namespace

bool PrepareAdapter(const SEARCH_DEVICE_INFO& device, uint32_t& addressToUse,
                    uint32_t& addressAdded, bool firstAddressMode, PrepareTrace* trace,
                    const AdapterEnv& env) {
    PrepareTrace local;
    PrepareTrace& t = trace != nullptr ? *trace : local;
    t = PrepareTrace{};
    AdapterEnv probeEnv = env;
    probeEnv.report = &t.probes;
    addressToUse = 0;
    addressAdded = 0;

    if (firstAddressMode) {
        uint32_t first = 0;
        uint32_t firstMask = 0;
        if (!ParsePair(device.ip[0], device.mask[0], first, firstMask)) {
            return Finish(t, PrepareOutcome::kBadRecord);
        }
        addressToUse = first;
        if (IsOnLocalSubnet(first, firstMask, env)) {
            t.deviceAddress = first;
            t.deviceMask = firstMask;
            return Finish(t, PrepareOutcome::kFirstAddressLocal);
        }
    }
    uint32_t second = 0;
    uint32_t secondMask = 0;
    if (!ParsePair(device.ip[1], device.mask[1], second, secondMask)) {
        return Finish(t, PrepareOutcome::kBadRecord);
    }
    addressToUse = second;
    t.deviceAddress = second;
    t.deviceMask = secondMask;
    if ((byteorder::NetworkToHost32(second) >> 16) == ((169u << 8) | 254u)) {
        return Finish(t, PrepareOutcome::kLinkLocal);
    }
    // The host's own loopback network is always reached; no adapter gets
    // an address from it (the adapter list leaves loopback out).
    if ((byteorder::NetworkToHost32(second) >> 24) == 127) {
        return Finish(t, PrepareOutcome::kLoopback);
    }
    if (IsOnLocalSubnet(second, secondMask, env)) {
        return Finish(t, PrepareOutcome::kAlreadyLocal);
    }

    std::vector<platform::AdapterInfo> adapters;
    t.netResult = platform::GetAdapterList(env.Network(), adapters);
    if (t.netResult != platform::kNetOk) {
        return Finish(t, PrepareOutcome::kNoAdapterList);
    }
    // Only an adapter that is up can carry the device's traffic.
    std::erase_if(adapters, [](const platform::AdapterInfo& a) { return !a.up; });

    const platform::AdapterInfo* adapter = nullptr;
    MacAddress mac{};
    t.macKnown = ParseMacText(FieldText(device.mac, sizeof device.mac).c_str(), mac);
    if (t.macKnown) {
        adapter = FindAdapterForDevice(adapters, second, mac, probeEnv);
        t.choice = adapter != nullptr ? AdapterChoice::kProbe : AdapterChoice::kNone;
    }
    if (adapter == nullptr) {
        adapter = FallbackAdapter(adapters, t.choice, env);
    }
    if (adapter == nullptr) {
        return Finish(t, PrepareOutcome::kNoAdapter);
    }
    t.adapter = *adapter;

    t.chosenAddress = ChooseFreeAddress(second, secondMask, adapter, probeEnv);
    if (t.chosenAddress == 0) {
        return Finish(t, PrepareOutcome::kNoFreeAddress);
    }
    // The address stays on the adapter after the program ends, as the
    // window's own preparation leaves it.
    t.netResult = env.Network().AddIPAddress(adapter->index, t.chosenAddress, secondMask);
    if (t.netResult != platform::kNetOk) {
        return Finish(t, PrepareOutcome::kAddRefused);
    }
    addressAdded = t.chosenAddress;
    return Finish(t, PrepareOutcome::kAdded);
}

const char* PrepareOutcomeText(PrepareOutcome outcome) {
    switch (outcome) {
        case PrepareOutcome::kBadRecord:
            return "the device's address or mask is not an IPv4 address";
        case PrepareOutcome::kFirstAddressLocal:
            return "the first address is on a local subnet: nothing to do";
        case PrepareOutcome::kLinkLocal:
            return "link-local address: the link-local route reaches it, nothing to do";
        case PrepareOutcome::kLoopback:
            return "loopback address: the host itself, nothing to do";
        case PrepareOutcome::kAlreadyLocal:
            return "on a local subnet already: nothing to do";
        case PrepareOutcome::kNoAdapterList:
            return "the adapter list could not be read";
        case PrepareOutcome::kNoAdapter:
            return "no network adapter is up";
        case PrepareOutcome::kNoFreeAddress:
            return "no free address found in the device's subnet";
        case PrepareOutcome::kAddRefused:
            return "the address could not be added";
        case PrepareOutcome::kAdded:
            return "address added";
    }
    return "unknown outcome";
}

const char* AdapterChoiceText(AdapterChoice choice) {
    switch (choice) {
        case AdapterChoice::kNone:
            return "none";
        case AdapterChoice::kProbe:
            return "found by ARP probe";
        case AdapterChoice::kFirstPhysical:
            return "not found by probe: the first physical adapter that is up";
        case AdapterChoice::kFirstInList:
            return "not found by probe: the first adapter that is up (none is physical)";
    }
    return "unknown";
}

}  // namespace fwbatch::adapter
