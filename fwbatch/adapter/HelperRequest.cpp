#include "fwbatch/adapter/HelperRequest.h"

#include "common/platform/ByteOrder.h"
#include "fwbatch/adapter/AdapterHelper.h"

namespace fwbatch::adapter {
namespace {

// The shortest and longest prefixes a device's subnet may have here: /31
// and /32 leave no address to add, and a mask shorter than /8 would put
// more than a network's worth of addresses on the link.
constexpr int kShortestPrefix = 8;
constexpr int kLongestPrefix = 30;

// Addresses a camera in a foreign subnet may have: unicast, not this
// network (0/8), not loopback (127/8), not link-local (169.254/16, the
// link-local route reaches those), not multicast or above (224/3).
bool IsDeviceAddress(uint32_t address) {
    const uint32_t host = byteorder::NetworkToHost32(address);
    const uint32_t first = host >> 24;
    return first != 0 && first != 127 && first < 224 && (host >> 16) != ((169u << 8) | 254u);
}

std::string ReadInterface(const std::string& name,
                          const std::vector<platform::AdapterInfo>& adapters,
                          platform::AdapterInfo& adapter) {
    for (const platform::AdapterInfo& a : adapters) {
        if (a.name != name) {
            continue;
        }
        if (a.loopback) {
            return "the interface " + name + " is the loopback interface";
        }
        if (!a.up) {
            return "the interface " + name + " is down";
        }
        adapter = a;
        return std::string();
    }
    return "there is no interface named \"" + name.substr(0, 32) + "\"";
}

}  // namespace

const char* const kHelperUsageText =
    "usage: camprep-adapter-helper probe INTERFACE ADDRESS\n"
    "       camprep-adapter-helper add INTERFACE ADDRESS MASK\n";

std::string ReadHelperRequest(const std::vector<std::string>& args,
                              const std::vector<platform::AdapterInfo>& adapters,
                              HelperRequest& request) {
    HelperRequest r;
    if (args.size() == 3 && args[0] == kHelperProbe) {
        r.task = HelperTask::kProbe;
    } else if (args.size() == 4 && args[0] == kHelperAdd) {
        r.task = HelperTask::kAdd;
    } else {
        return "expected \"probe INTERFACE ADDRESS\" or \"add INTERFACE ADDRESS MASK\"";
    }
    std::string problem = ReadInterface(args[1], adapters, r.adapter);
    if (!problem.empty()) {
        return problem;
    }
    // Only the canonical text: "010" is 10 to one reader and 8 to another.
    if (!platform::ParseIPv4(args[2], r.address) || platform::FormatIPv4(r.address) != args[2] ||
        !IsDeviceAddress(r.address)) {
        return "not a unicast IPv4 address outside loopback and link-local: " +
               args[2].substr(0, 32);
    }
    if (r.task == HelperTask::kAdd) {
        const int prefix =
            platform::ParseIPv4(args[3], r.mask) && platform::FormatIPv4(r.mask) == args[3]
                ? platform::MaskToPrefixLength(r.mask)
                : -1;
        if (prefix < kShortestPrefix || prefix > kLongestPrefix) {
            return "not a network mask from 255.0.0.0 to 255.255.255.252: " + args[3].substr(0, 32);
        }
        const uint32_t hostPart = byteorder::NetworkToHost32(r.address & ~r.mask);
        if (hostPart == 0 || hostPart == byteorder::NetworkToHost32(~r.mask)) {
            return "the network or broadcast address of its subnet: " + args[2];
        }
        for (const platform::AdapterInfo& a : adapters) {
            for (const platform::AdapterAddress& local : a.addresses) {
                if (a.up && local.address != 0 &&
                    (local.address & local.mask) == (r.address & r.mask)) {
                    return "the interface " + a.name + " is in the subnet of " + args[2] +
                           " already";
                }
            }
        }
    }
    request = r;
    return std::string();
}

}  // namespace fwbatch::adapter
