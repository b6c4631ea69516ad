// `camprep ai-version`: asks devices for the versions of their analysis
// components ("GetDeviceInfo"), several at once, with the engine Fwbatch uses.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "common/platform/ThreadStart.h"
#include "common/report/RunReport.h"
#include "fwbatch/engine/AiQuery.h"
#include "strings/EmbeddedStrings.h"

namespace {

struct AiVersionArgs {
    std::string user = "admin";
    cli::PasswordArgs password;
    cli::DeviceArgs targets;
    bool prepare = true;
    int parallel = 8;
    bool json = false;
    std::string report;
};

struct Shown {
    std::string address;
    int port = 0;
    std::string mac;
    std::string time;  // when the answer came
    double seconds = 0;
    std::string model;  // known for a device the search found
};

int Usage(const std::string& message) {
    std::fprintf(stderr, "camprep ai-version: %s\n", message.c_str());
    return cli::kExitUsage;
}

int RunAiVersion(const AiVersionArgs& args) {
    std::string password;
    std::string wrong;
    std::vector<std::string> byAddress;
    if (!cli::CheckDevicesAndPassword(args.targets, args.password, byAddress, password, wrong)) {
        return Usage(wrong);
    }
    if (cli::NothingToRerun("camprep ai-version", args.targets, byAddress)) {
        return cli::kExitOk;
    }
    wrong = cli::CheckCredentialFields(args.user, password);
    if (!wrong.empty()) {
        return Usage(wrong);
    }
    if (!fwbatch::AiCredentialsText(args.user, password)) {
        return Usage("the user name and password take " + std::to_string(args.user.size() + 1 + password.size()) +
                     " bytes with the colon between them; the request carries at most " +
                     std::to_string(fwbatch::kAiCredentialsInputMax));
    }
    std::vector<fwbatch::DEVICE_PARAM> entries;
    std::vector<Shown> shown;
    for (const std::string& d : byAddress) {
        Shown s;
        int32_t port = 0;
        cli::ParseDevice(d, s.address, port);
        s.port = port;
        fwbatch::DEVICE_PARAM entry;
        entry.firstAddress = entry.secondAddress = s.address;
        entry.commandPort = static_cast<uint32_t>(port);
        entries.push_back(entry);
        shown.push_back(s);
    }
    if (args.targets.discover) {
        std::vector<SEARCH_DEVICE_INFO> found;
        std::string error;
        if (!cli::DiscoverDevices("KMX_IPC", args.targets, found, error)) {
            std::fprintf(stderr, "camprep ai-version: %s\n", error.c_str());
            return cli::kExitFailed;
        }
        if (found.empty()) {
            std::fprintf(stderr, "camprep ai-version: no device found\n");
            return cli::kExitFailed;
        }
        if (args.prepare) {
            cli::PrepareAdapters("camprep ai-version", found);
        }
        for (const SEARCH_DEVICE_INFO& d : found) {
            fwbatch::DEVICE_PARAM entry;
            entry.deviceKey = cli::FieldText(d.mac);
            entry.firstAddress = cli::FieldText(d.ip[0]);
            entry.secondAddress = cli::FieldText(d.ip[1]);
            entry.commandPort = static_cast<uint32_t>(d.dataPort);
            entries.push_back(entry);
            shown.push_back({entry.secondAddress, d.dataPort, entry.deviceKey, {}, 0, cli::FieldText(d.productModel)});
        }
    }
    for (auto& entry : entries) {
        entry.userName = args.user;
        entry.password = password;
    }

    std::vector<fwbatch::AiQueryResult> results(entries.size());
    auto queue = std::make_shared<cli::ResultQueue<size_t>>();
    {
        std::atomic<size_t> next{0};
        std::vector<std::jthread> workers;
        const size_t count = std::min(entries.size(), static_cast<size_t>(args.parallel));
        const auto work = [&entries, &results, &next, queue] {
            for (size_t i = next++; i < entries.size(); i = next++) {
                results[i] = fwbatch::RunAiQuery(entries[i]);
                queue->Push(i);
            }
        };
        if (platform::StartPool(workers, count, work) == 0) {
            // No thread within the wait: every query failed (the results'
            // default), and each is shown.
            for (size_t i = next++; i < entries.size(); i = next++) {
                queue->Push(i);
            }
        }
        const auto start = std::chrono::steady_clock::now();
        for (size_t n = 0; n < entries.size(); ++n) {
            const size_t i = queue->Pop();
            shown[i].time = report::ReportTime();
            shown[i].seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!args.json) {
                const fwbatch::AiQueryResult& r = results[i];
                const Shown& s = shown[i];
                std::printf("%s:%d\t%s\t%s\t%s\t%s\t%s\n", s.address.c_str(), s.port,
                            s.mac.empty() ? "-" : s.mac.c_str(), r.versions.structure.c_str(),
                            r.versions.face.c_str(), r.versions.vehicle.c_str(),
                            strings::FwbatchStrings().Load(fwbatch::AiResultStringId(r)).c_str());
                std::fflush(stdout);
            }
        }
    }  // joined here

    bool allOk = true;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (size_t i = 0; i < entries.size(); ++i) {
        const fwbatch::AiQueryResult& r = results[i];
        allOk = allOk && r.code == fwbatch::kAiVersionsReceived;
        out.push_back({{"address", shown[i].address},
                       {"port", shown[i].port},
                       {"mac", shown[i].mac},
                       {"code", r.code},
                       {"result", strings::FwbatchStrings().Load(fwbatch::AiResultStringId(r))},
                       {"struct_version", r.versions.structure},
                       {"face_detect_version", r.versions.face},
                       {"vehicle_version", r.versions.vehicle}});
    }
    if (args.json) {
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
    if (!args.report.empty()) {
        std::vector<report::ReportRow> rows;
        for (size_t i = 0; i < entries.size(); ++i) {
            report::ReportRow r;
            r.time = shown[i].time;
            r.mac = shown[i].mac;
            r.address = shown[i].address;
            r.port = shown[i].port;
            r.model = shown[i].model;
            r.code = results[i].code;
            r.result = strings::FwbatchStrings().Load(fwbatch::AiResultStringId(results[i]));
            r.success = results[i].code == fwbatch::kAiVersionsReceived;
            r.attempts = 1;
            r.seconds = shown[i].seconds;
            rows.push_back(std::move(r));
        }
        std::string error;
        if (!report::WriteReport(args.report, rows, error)) {
            std::fprintf(stderr, "camprep ai-version: %s\n", error.c_str());
            return cli::kExitFailed;
        }
    }
    return allOk ? cli::kExitOk : cli::kExitFailed;
}

const cli::CommandRegistrar kAiVersion("ai-version", [](CLI::App& app) {
    auto args = std::make_shared<AiVersionArgs>();
    CLI::App* sub = app.add_subcommand(
        "ai-version",
        "Ask devices for the versions of their analysis components (structure, face detection,\n"
        "vehicle recognition), as Fwbatch's AI button does, several devices at once.\n"
        "Devices come from --device HOST:PORT or from --discover (the devices the search finds\n"
        "on the local networks).\n"
        "Exit status: 0 every device answered, 1 some did not, 2 bad usage.");
    sub->add_option("--user", args->user, "Device user name (default admin)");
    cli::AddPasswordOptions(sub, args->password);
    cli::AddDeviceOptions(sub, args->targets, "Ask the devices the search finds");
    sub->add_flag("--prepare,!--no-prepare", args->prepare,
                  "With --discover: give a local adapter an address in the subnet of a device that no\n"
                  "adapter reaches, as Fwbatch does (default; needs the right to change addresses).\n"
                  "--device targets are never prepared");
    sub->add_option("--parallel", args->parallel, "Devices asked at once (default 8)")
        ->check(CLI::Range(1, 256));
    sub->add_flag("--json", args->json, "Print one JSON array when every device has answered");
    cli::AddReportOption(sub, args->report);
    return [args] { return RunAiVersion(*args); };
});

}  // namespace
