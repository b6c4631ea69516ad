// `camprep discover`: searches for devices for a given time and lists each
// device once, as a table or as JSON.
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "cli/DeviceSearch.h"
#include "common/report/TextTable.h"
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

// Each column as wide as what it shows; a name or model too long for a
// terminal line is cut (the JSON output carries it whole).
void PrintTable(const std::vector<SEARCH_DEVICE_INFO>& devices) {
    const auto field = [](const char* text, size_t capacity) { return std::string(text, strnlen(text, capacity)); };
    report::TextTable table({{"MAC", 24},
                             {"IP", 15},
                             {"MASK", 15},
                             {"IP2", 15},
                             {"MASK2", 15},
                             {"DATA", 5, true},
                             {"HTTP", 5, true},
                             {"NAME", 32},
                             {"MODEL", 24},
                             {"VERSION", 32},
                             {"BUILD DATE", 16},
                             {"KERNEL", 16},
                             {"ACTIVATION", 24}});
    for (const SEARCH_DEVICE_INFO& d : devices) {
        table.AddRow({field(d.mac, sizeof d.mac), field(d.ip[0], sizeof d.ip[0]), field(d.mask[0], sizeof d.mask[0]),
                      field(d.ip[1], sizeof d.ip[1]), field(d.mask[1], sizeof d.mask[1]), std::to_string(d.dataPort),
                      std::to_string(d.httpPort), field(d.devName, sizeof d.devName),
                      field(d.productModel, sizeof d.productModel),
                      discovery::FormatVersionText(d.softwareVer, d.build, d.mask[1]),
                      field(d.softwareBuildDate, sizeof d.softwareBuildDate), field(d.kernelVer, sizeof d.kernelVer),
                      ActivationText(d.deviceActivated)});
    }
    std::fputs(table.Text().c_str(), stdout);
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
