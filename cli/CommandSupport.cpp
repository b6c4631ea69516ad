#include "cli/CommandSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cli/DeviceSearch.h"
#include "common/report/RunReport.h"
#include "common/platform/NetworkPlatform.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace cli {

void AddPasswordOptions(CLI::App* sub, PasswordArgs& args) {
    args.textOption = sub->add_option("--password", args.text,
                                      "Device password (default 739164; visible to every user of the "
                                      "machine, prefer --password-file or CAMPREP_PASSWORD)");
    sub->add_option("--password-file", args.file, "Read the device password from the first line of this file");
}

bool ResolvePassword(const PasswordArgs& args, std::string& password, std::string& error) {
    const bool given = args.textOption != nullptr && args.textOption->count() > 0;
    if (given && !args.file.empty()) {
        error = "give the password either with --password or with --password-file";
        return false;
    }
    if (given) {
        password = args.text;
        return true;
    }
    if (!args.file.empty()) {
        std::ifstream in(args.file);
        if (!in) {
            error = "cannot read the password file " + args.file;
            return false;
        }
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r') {
            password.pop_back();
        }
        return true;
    }
    const char* fromEnvironment = std::getenv("CAMPREP_PASSWORD");
    password = fromEnvironment != nullptr ? fromEnvironment : "739164";
    return true;
}

void AddDeviceOptions(CLI::App* sub, DeviceArgs& args, const std::string& discoverHelp) {
    sub->add_option("--device", args.devices, "A device as IPv4-ADDRESS:PORT (repeatable)");
    sub->add_option("--devices-file", args.devicesFile,
                    "Devices from a file: one IPv4-ADDRESS:PORT a line (# starts a comment), or an earlier "
                    "--report");
    sub->add_option("--rerun-failed", args.rerunFailed,
                    "The devices of an earlier --report whose result was not a success");
    sub->add_flag("--discover", args.discover, discoverHelp);
    sub->add_option("--timeout", args.timeoutSeconds, "Seconds to search with --discover (default 3)")
        ->check(CLI::Range(0.1, 3600.0));
    sub->add_option("--interface", args.interfaces, "Search only on this interface (repeatable)");
    sub->add_option("--match", args.match,
                    "Only devices whose MAC, address, name or model contains this text");
}

std::string CheckDeviceOptions(const DeviceArgs& args) {
    const bool byAddress = !args.devices.empty() || !args.devicesFile.empty() || !args.rerunFailed.empty();
    if (args.discover == byAddress) {
        return "give the devices either with --device HOST:PORT, --devices-file or --rerun-failed, or with "
               "--discover";
    }
    if (!args.discover && (!args.interfaces.empty() || !args.match.empty())) {
        return "--interface and --match go with --discover";
    }
    std::string host;
    int32_t port = 0;
    for (const std::string& d : args.devices) {
        if (!ParseDevice(d, host, port)) {
            return "not an IPv4 address and port: " + d;
        }
    }
    return CheckInterfaces(args.interfaces);
}

std::string CheckInterfaces(const std::vector<std::string>& names) {
    if (names.empty()) {
        return std::string();
    }
    std::vector<platform::AdapterInfo> adapters;
    platform::Network().GetAdapters(adapters);
    std::string present;
    for (const platform::AdapterInfo& a : adapters) {
        present += (present.empty() ? "" : ", ") + a.name;
    }
    for (const std::string& name : names) {
        const bool found = std::any_of(adapters.begin(), adapters.end(),
                                       [&](const platform::AdapterInfo& a) { return a.name == name; });
        if (!found) {
            return "no interface named \"" + name.substr(0, 64) + "\" on this machine (there are: " +
                   (present.empty() ? "none" : present) + ")";
        }
    }
    return std::string();
}

namespace {

bool Matches(const SEARCH_DEVICE_INFO& d, const std::string& text) {
    if (text.empty()) {
        return true;
    }
    for (const char* field : {d.mac, d.ip[0], d.ip[1], d.devName, d.productModel}) {
        if (std::string(field).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool DiscoverDevices(const std::string& series, const DeviceArgs& args,
                     std::vector<SEARCH_DEVICE_INFO>& devices, std::string& error) {
    DeviceSearch search(series, args.interfaces);
    if (!search.Run(std::chrono::milliseconds(static_cast<int64_t>(args.timeoutSeconds * 1000)), error)) {
        return false;
    }
    for (const SEARCH_DEVICE_INFO& d : search.Devices()) {
        if (Matches(d, args.match)) {
            devices.push_back(d);
        }
    }
    return true;
}

void PrepareAdapters(const char* command, const std::vector<SEARCH_DEVICE_INFO>& devices) {
    namespace adapter = fwbatch::adapter;
    for (const SEARCH_DEVICE_INFO& d : devices) {
        uint32_t use = 0;
        uint32_t added = 0;
        adapter::PrepareTrace trace;
        if (adapter::PrepareAdapter(d, use, added, false, &trace)) {
            const bool present = adapter::WaitForHostAddress(added);
            std::fprintf(stderr, "%s: %s: added %s/%d to %s%s\n", command, FieldText(d.mac).c_str(),
                         platform::FormatIPv4(added).c_str(), platform::MaskToPrefixLength(trace.deviceMask),
                         trace.adapter.name.c_str(), present ? "" : " (not yet among the host's addresses)");
        } else if (trace.outcome == adapter::PrepareOutcome::kAddRefused ||
                   trace.outcome == adapter::PrepareOutcome::kNoFreeAddress ||
                   trace.outcome == adapter::PrepareOutcome::kNoAdapter) {
            const bool denied = trace.netResult == platform::kNetPermissionDenied;
            std::fprintf(stderr, "%s: %s: no address added (%s%s)\n", command, FieldText(d.mac).c_str(),
                         adapter::PrepareOutcomeText(trace.outcome),
                         denied ? ": this user may not change network addresses" : "");
        }
    }
}

std::string CheckCredentialFields(const std::string& userName, const std::string& password) {
    const struct {
        const char* what;
        size_t length;
    } texts[] = {{"user name", userName.size()}, {"password", password.size()}};
    for (const auto& text : texts) {
        if (text.length > kCredentialTextMax) {
            return std::string("the ") + text.what + " takes " + std::to_string(text.length) +
                   " bytes as sent; a device takes at most " + std::to_string(kCredentialTextMax);
        }
    }
    return {};
}

bool CheckDevicesAndPassword(const DeviceArgs& devices, const PasswordArgs& passwordArgs,
                             std::vector<std::string>& targets, std::string& password, std::string& error) {
    error = CheckDeviceOptions(devices);
    if (!error.empty()) {
        return false;
    }
    std::vector<std::string> all = devices.devices;
    if (!devices.devicesFile.empty() && !report::ReadDevicesFile(devices.devicesFile, all, error)) {
        return false;
    }
    if (!devices.rerunFailed.empty() && !report::FailedDevicesOf(devices.rerunFailed, all, error)) {
        return false;
    }
    targets.clear();
    std::string host;
    int32_t port = 0;
    for (const std::string& d : all) {
        if (!ParseDevice(d, host, port)) {
            error = "not an IPv4 address and port: " + d;
            return false;
        }
        if (std::find(targets.begin(), targets.end(), d) == targets.end()) {
            targets.push_back(d);  // a device named twice is reached once
        }
    }
    // A report without failures leaves nothing to do (NothingToRerun); a
    // devices file naming no device is a mistake.
    if (!devices.discover && targets.empty() && devices.rerunFailed.empty()) {
        error = "the devices file " + devices.devicesFile + " names no device";
        return false;
    }
    return ResolvePassword(passwordArgs, password, error);
}

bool NothingToRerun(const char* command, const DeviceArgs& devices, const std::vector<std::string>& targets) {
    if (devices.discover || !targets.empty()) {
        return false;
    }
    std::fprintf(stderr, "%s: the report %s has no failed device: nothing to do\n", command,
                 devices.rerunFailed.c_str());
    return true;
}

void AddReportOption(CLI::App* sub, std::string& path) {
    sub->add_option("--report", path,
                    "Write what every device ended with to this file, CSV or JSON by its extension "
                    "(.csv, .json); written also when the run is interrupted")
        ->check([](const std::string& p) { return report::CheckReportPath(p); });
}

}  // namespace cli
