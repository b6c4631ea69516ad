// `camprep discover`: searches for devices for a given time and lists each
// device once, as a table or as JSON.
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "cli/DeviceSearch.h"
#include "discovery/VersionText.h"

namespace {

struct DiscoverArgs {
    double timeoutSeconds = 3.0;
    std::vector<std::string> interfaces;
    std::string series = "KMX";
    bool json = false;
};

const char* ActivationText(int32_t state) {
    switch (state) {
        case 0:
            return "activated";
        case 1:
            return "not activated";
        default:
            return "";
    }
}

nlohmann::json ToJson(const SEARCH_DEVICE_INFO& d) {
    nlohmann::json addresses = nlohmann::json::array();
    for (int i = 0; i < 2; ++i) {
        if (d.ip[i][0] != '\0' || d.mask[i][0] != '\0') {
            addresses.push_back({{"ip", d.ip[i]}, {"mask", d.mask[i]}});
        }
    }
    return {
        {"mac", d.mac},
        {"addresses", addresses},
        {"data_port", d.dataPort},
        {"http_port", d.httpPort},
        {"name", d.devName},
        {"model", d.productModel},
        {"software_version", d.softwareVer},
        {"build", d.build},
        {"version", discovery::FormatVersionText(d.softwareVer, d.build, d.mask[1])},
        {"build_date", d.softwareBuildDate},
        {"kernel_version", d.kernelVer},
        {"activation", d.deviceActivated},
        {"activation_text", ActivationText(d.deviceActivated)},
    };
}

void PrintTable(const std::vector<SEARCH_DEVICE_INFO>& devices) {
    std::printf("%-19s %-15s %-15s %-15s %-15s %5s %5s %-20s %-16s %-22s %-10s %-8s %s\n", "MAC",
                "IP", "MASK", "IP2", "MASK2", "DATA", "HTTP", "NAME", "MODEL", "VERSION",
                "BUILD DATE", "KERNEL", "ACTIVATION");
    for (const SEARCH_DEVICE_INFO& d : devices) {
        const std::string version = discovery::FormatVersionText(d.softwareVer, d.build, d.mask[1]);
        std::printf("%-19s %-15s %-15s %-15s %-15s %5d %5d %-20s %-16s %-22s %-10s %-8s %s\n",
                    d.mac, d.ip[0], d.mask[0], d.ip[1], d.mask[1], d.dataPort, d.httpPort,
                    d.devName, d.productModel, version.c_str(), d.softwareBuildDate, d.kernelVer,
                    ActivationText(d.deviceActivated));
    }
}

int RunDiscover(const DiscoverArgs& args) {
    std::string error = cli::CheckInterfaces(args.interfaces);
    if (!error.empty()) {
        std::fprintf(stderr, "camprep discover: %s\n", error.c_str());
        return cli::kExitUsage;
    }
    cli::DeviceSearch search(args.series, args.interfaces);
    if (!search.Run(std::chrono::milliseconds(static_cast<int64_t>(args.timeoutSeconds * 1000)),
                    error)) {
        std::fprintf(stderr, "camprep discover: %s\n", error.c_str());
        return cli::kExitFailed;
    }
    const std::vector<SEARCH_DEVICE_INFO> devices = search.Devices();
    if (args.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const SEARCH_DEVICE_INFO& d : devices) {
            out.push_back(ToJson(d));
        }
        std::printf("%s\n",
                    out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else if (!devices.empty()) {
        PrintTable(devices);
    } else {
        std::fprintf(stderr, "camprep discover: no device answered\n");
    }
    return devices.empty() ? cli::kExitFailed : cli::kExitOk;
}

const cli::CommandRegistrar kDiscover("discover", [](CLI::App& app) {
    auto args = std::make_shared<DiscoverArgs>();
    CLI::App* sub = app.add_subcommand(
        "discover",
        "Search the local networks for devices and list each once. The search multicasts on\n"
        "every up interface, or on those --interface names.");
    sub->add_option("--timeout", args->timeoutSeconds, "Seconds to search (default 3)")
        ->check(CLI::Range(0.1, 3600.0));
    sub->add_option("--interface", args->interfaces, "Search only on this interface (repeatable)");
    sub->add_option("--series", args->series,
                    "Keep devices whose product series contains this text (default KMX)");
    sub->add_flag("--json", args->json, "Print a JSON array instead of a table");
    return [args] { return RunDiscover(*args); };
});

}  // namespace
