// `camprep discover`: searches for devices for a given time, with our own
// search, the ONVIF discovery or both, and lists each device once, as a
// table or as JSON; with --identify it also reads who each ONVIF camera is
// (firmware version, serial, MAC) with the given credentials.
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "cli/DeviceSearch.h"
#include "common/platform/NetworkPlatform.h"
#include "common/report/TextTable.h"
#include "discovery/VersionText.h"
#include "onvif/Identify.h"

namespace {

struct DiscoverArgs {
    double timeoutSeconds = 3.0;
    std::vector<std::string> interfaces;
    std::string series = "KMX";
    bool json = false;
    std::string source = "all";
    int32_t dataPort = discovery::kDefaultDataPort;
    bool identify = false;
    std::string user = "admin";
    cli::PasswordArgs password;
    size_t parallel = 8;
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

struct Listed {
    cli::FoundDevice found;
    bool identified = false;  // an identification ran
    onvif::DeviceIdentity identity;
    bool versionFromIdentity = false;
    bool macFromIdentity = false;
};

const char* SourceOf(const Listed& d) {
    return d.found.hasSide ? discovery::DeviceSourceName(d.found.side.source) : "ours";
}

std::string SerialOf(const Listed& d) {
    if (d.identified && d.identity.code == onvif::kIdentifyOk) {
        return d.identity.information.serialNumber;
    }
    return d.found.hasSide && d.found.side.hasOnvif ? d.found.side.onvif.facts.serial
                                                    : std::string();
}

nlohmann::json IdentityJson(const onvif::DeviceIdentity& id) {
    nlohmann::json j = {{"result", onvif::IdentifyCodeText(id.code)}, {"device_service", id.url}};
    if (!id.error.empty()) {
        j["error"] = id.error;
    }
    if (id.code == onvif::kIdentifyOk) {
        j["manufacturer"] = id.information.manufacturer;
        j["model"] = id.information.model;
        j["firmware_version"] = id.information.firmwareVersion;
        j["serial_number"] = id.information.serialNumber;
        j["hardware_id"] = id.information.hardwareId;
        j["mac"] = id.mac;
        j["interface_hardware_addresses"] = id.macs;
        j["authentication"] = id.authentication;
    }
    if (id.clockKnown) {
        j["clock_offset_ms"] = id.clockOffsetMs;
    }
    return j;
}

nlohmann::json ToJson(const Listed& listed) {
    const SEARCH_DEVICE_INFO& d = listed.found.record;
    nlohmann::json addresses = nlohmann::json::array();
    for (int i = 0; i < 2; ++i) {
        if (d.ip[i][0] != '\0' || d.mask[i][0] != '\0') {
            addresses.push_back({{"ip", d.ip[i]}, {"mask", d.mask[i]}});
        }
    }
    nlohmann::json j = {
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
        {"key", listed.found.key},
        {"source", SourceOf(listed)},
    };
    // Where each field came from: the search answer, or what the ONVIF
    // camera said and where (scopes, XAddrs, the device calls), or a default.
    nlohmann::json from = nlohmann::json::object();
    if (listed.found.hasSide) {
        for (const discovery::FieldOrigin& o : listed.found.side.origins) {
            from[o.field] = o.origin;
        }
    } else {
        for (const char* field :
             {"mac", "ip", "mask", "data_port", "http_port", "name", "model", "software_version"}) {
            from[field] = "search answer";
        }
    }
    if (listed.versionFromIdentity) {
        from["software_version"] = "ONVIF GetDeviceInformation";
    }
    if (listed.macFromIdentity) {
        from["mac"] = "ONVIF GetNetworkInterfaces";
    }
    if (listed.identified && listed.identity.code == onvif::kIdentifyOk) {
        j["serial_number"] = listed.identity.information.serialNumber;
        from["serial_number"] = "ONVIF GetDeviceInformation";
    }
    j["from"] = from;
    if (listed.found.hasSide && listed.found.side.hasOnvif) {
        const onvif::OnvifDevice& o = listed.found.side.onvif;
        nlohmann::json types = nlohmann::json::array();
        for (const onvif::QName& t : o.types) {
            types.push_back(t.ns + "#" + t.local);
        }
        j["onvif"] = {
            {"endpoint", o.endpoint},
            {"xaddrs", o.xaddrs},
            {"device_service", o.deviceService},
            {"scopes", o.scopes},
            {"types", types},
            {"metadata_version", o.metadataVersion},
            {"heard_on", o.heardOn},
            {"interface", o.interfaceName},
            {"on_local_subnet", o.onLocalSubnet},
            {"by_probe", o.byProbe},
            {"by_hello", o.byHello},
            {"scope_mac", o.facts.mac},
            {"scope_serial", o.facts.serial},
            {"location", o.facts.location},
        };
    }
    if (listed.identified) {
        j["identity"] = IdentityJson(listed.identity);
    }
    return j;
}

// Each column as wide as what it shows; a name or model too long for a
// terminal line is cut (the JSON output carries it whole).
void PrintTable(const std::vector<Listed>& devices, bool identified) {
    const auto field = [](const char* text, size_t capacity) {
        return std::string(text, strnlen(text, capacity));
    };
    std::vector<report::TextTable::Column> columns{
        {"MAC", 24},        {"IP", 15},        {"MASK", 15},       {"IP2", 15},    {"MASK2", 15},
        {"DATA", 5, true},  {"HTTP", 5, true}, {"NAME", 32},       {"MODEL", 24},  {"VERSION", 32},
        {"BUILD DATE", 16}, {"KERNEL", 16},    {"ACTIVATION", 24}, {"SOURCE", 13}, {"SERIAL", 48}};
    if (identified) {
        columns.push_back({"IDENTITY", 40});
    }
    report::TextTable table(std::move(columns));
    for (const Listed& listed : devices) {
        const SEARCH_DEVICE_INFO& d = listed.found.record;
        table.AddRow({field(d.mac, sizeof d.mac), field(d.ip[0], sizeof d.ip[0]),
                      field(d.mask[0], sizeof d.mask[0]), field(d.ip[1], sizeof d.ip[1]),
                      field(d.mask[1], sizeof d.mask[1]), std::to_string(d.dataPort),
                      std::to_string(d.httpPort), field(d.devName, sizeof d.devName),
                      field(d.productModel, sizeof d.productModel),
                      discovery::FormatVersionText(d.softwareVer, d.build, d.mask[1]),
                      field(d.softwareBuildDate, sizeof d.softwareBuildDate),
                      field(d.kernelVer, sizeof d.kernelVer), ActivationText(d.deviceActivated),
                      SourceOf(listed), SerialOf(listed),
                      listed.identified ? onvif::IdentifyCodeText(listed.identity.code) : ""});
    }
    std::fputs(table.Text().c_str(), stdout);
}

// Reads who each ONVIF camera is, a few at a time; true when every one answered.
bool Identify(std::vector<Listed>& devices, const DiscoverArgs& args, const std::string& password) {
    std::vector<onvif::IdentifyTarget> targets;
    std::map<std::string, Listed*> byKey;
    for (Listed& d : devices) {
        if (d.found.hasSide && d.found.side.hasOnvif) {
            targets.push_back({d.found.key, d.found.side.onvif.deviceService});
            byKey[d.found.key] = &d;
        }
    }
    if (targets.empty()) {
        return true;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool allOk = true;
    onvif::IdentifyJobOptions options;
    options.parallel = args.parallel;
    {
        onvif::IdentifyJob job(
            targets, args.user, password, options,
            [&](const std::string& key, onvif::DeviceIdentity identity) {
                std::lock_guard<std::mutex> lock(mutex);
                Listed& d = *byKey.at(key);
                d.identified = true;
                d.identity = std::move(identity);
                allOk = allOk && d.identity.code == onvif::kIdentifyOk;
            },
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                done = true;
                finished.notify_all();
            });
        std::unique_lock<std::mutex> lock(mutex);
        // Every call of every camera is bounded by the job's own limits.
        finished.wait(lock, [&] { return done; });
    }
    for (Listed& d : devices) {
        if (d.identified) {
            const bool hadVersion = d.found.record.softwareVer[0] != '\0';
            const bool hadMac = d.found.record.mac[0] != '\0';
            discovery::ApplyIdentity(d.found.record, d.identity);
            d.versionFromIdentity = !hadVersion && d.found.record.softwareVer[0] != '\0';
            d.macFromIdentity = !hadMac && d.found.record.mac[0] != '\0';
        }
    }
    return allOk;
}

int RunDiscover(const DiscoverArgs& args) {
    std::string error = cli::CheckInterfaces(args.interfaces);
    if (!error.empty()) {
        std::fprintf(stderr, "camprep discover: %s\n", error.c_str());
        return cli::kExitUsage;
    }
    cli::SearchSources sources;
    cli::ParseSources(args.source, sources);
    std::string password;
    if (args.identify) {
        if (!sources.onvif) {
            std::fprintf(stderr,
                         "camprep discover: --identify reads ONVIF cameras: it needs --source "
                         "onvif or all\n");
            return cli::kExitUsage;
        }
        if (!onvif::HaveHttpClient()) {
            std::fprintf(
                stderr,
                "camprep discover: this build has no HTTP client: --identify is not available\n");
            return cli::kExitUsage;
        }
        if (!cli::ResolvePassword(args.password, password, error)) {
            std::fprintf(stderr, "camprep discover: %s\n", error.c_str());
            return cli::kExitUsage;
        }
    }
    cli::DeviceSearch search(args.series, args.interfaces, sources, args.dataPort);
    std::string warning;
    if (!search.Run(std::chrono::milliseconds(static_cast<int64_t>(args.timeoutSeconds * 1000)),
                    error, &warning)) {
        std::fprintf(stderr, "camprep discover: %s\n", error.c_str());
        return cli::kExitFailed;
    }
    if (!warning.empty()) {
        std::fprintf(stderr, "camprep discover: %s\n", warning.c_str());
    }
    std::vector<Listed> devices;
    for (cli::FoundDevice& found : search.Found()) {
        devices.push_back(Listed{std::move(found), false, {}, false, false});
    }
    const bool identifiedAll = !args.identify || Identify(devices, args, password);
    if (args.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const Listed& d : devices) {
            out.push_back(ToJson(d));
        }
        std::printf("%s\n",
                    out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else if (!devices.empty()) {
        PrintTable(devices, args.identify);
    } else {
        std::fprintf(stderr, "camprep discover: no device answered\n");
    }
    return devices.empty() || !identifiedAll ? cli::kExitFailed : cli::kExitOk;
}

const cli::CommandRegistrar kDiscover("discover", [](CLI::App& app) {
    auto args = std::make_shared<DiscoverArgs>();
    CLI::App* sub = app.add_subcommand(
        "discover",
        "Search the local networks for devices (our own search and the open ONVIF discovery) and\n"
        "list each once. The searches multicast on every up interface, or on those --interface\n"
        "names.");
    sub->add_option("--timeout", args->timeoutSeconds, "Seconds to search (default 3)")
        ->check(CLI::Range(0.1, 3600.0));
    sub->add_option("--interface", args->interfaces, "Search only on this interface (repeatable)");
    sub->add_option(
        "--series", args->series,
        "Keep devices whose product series contains this text (default KMX; devices found only\n"
        "by ONVIF have none and are kept)");
    sub->add_flag("--json", args->json,
                  "Print a JSON array instead of a table: every field, and where each came from");
    cli::AddSourceOptions(sub, args->source, args->dataPort);
    sub->add_flag(
        "--identify", args->identify,
        "Read each ONVIF camera's device information and network interfaces (firmware\n"
        "version, serial, MAC) with --user and the password; exit 1 when one is not read");
    sub->add_option("--user", args->user, "User name for --identify (default admin)");
    cli::AddPasswordOptions(sub, args->password);
    sub->add_option("--parallel", args->parallel, "Cameras --identify reads at once (default 8)")
        ->check(CLI::Range(1, 256));
    return [args] { return RunDiscover(*args); };
});

}  // namespace
