// `camprep push`: pushes a factory configuration package to devices given
// by address or found by the search, one worker per device at once, as
// Cfgpush does, and prints each device's result as it arrives.
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cfgpush/engine/CfgpushStringIds.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/PushJob.h"
#include "cfgpush/engine/PushResult.h"
#include "cfgpush/engine/PushTargetFromRecord.h"
#include "cfgpush/engine/PushWorker.h"
#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "common/platform/InterruptWatch.h"
#include "common/report/RunReport.h"
#include "strings/EmbeddedStrings.h"

namespace {

struct PushArgs {
    std::string fac;
    std::string productType;
    std::string user = "admin";
    cli::PasswordArgs password;
    bool json = false;
    std::string softwareVersion;
    cli::DeviceArgs targets;
    std::string report;
    bool dryRun = false;
};

std::string Text(uint32_t id) { return strings::CfgpushStrings().Load(id); }

// What a result says: its text, or for a dry run's success the path the
// push would take.
std::string ResultText(int code, bool dryRun, bool version3) {
    if (dryRun && code == cfgpush::kPushSuccess) {
        return version3 ? "would push by the version-3 command (reached, nothing sent)"
                        : "would push by the version-4 import (logged in, nothing sent)";
    }
    return Text(cfgpush::PushResultStringId(code));
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "camprep push: %s\n", message.c_str());
    return cli::kExitUsage;
}

int RunPush(const PushArgs& args) {
    std::string password;
    std::string wrong;
    std::vector<std::string> byAddress;
    if (!cli::CheckDevicesAndPassword(args.targets, args.password, byAddress, password, wrong)) {
        return Usage(wrong);
    }
    if (cli::NothingToRerun("camprep push", args.targets, byAddress)) {
        return cli::kExitOk;
    }
    // Cfgpush sends one byte per character.
    const std::string userName = cfgpush::LowBytesOfUtf8(args.user);
    password = cfgpush::LowBytesOfUtf8(password);
    wrong = cli::CheckCredentialFields(userName, password);
    if (!wrong.empty()) {
        return Usage(wrong);
    }
    std::vector<cfgpush::PushTarget> targets;
    std::vector<std::string> models;  // known for a device the search found
    for (const std::string& d : byAddress) {
        cfgpush::PushTarget t;
        cli::ParseDevice(d, t.firstAddress, t.dataPort);
        t.secondAddress = t.firstAddress;
        t.softwareVersion = args.softwareVersion;
        targets.push_back(t);
        models.emplace_back();
    }

    cfgpush::FacPackage package;
    int openErrno = 0;
    switch (package.Load(args.fac, &openErrno)) {
        case cfgpush::FacLoadResult::kLoaded:
            break;
        case cfgpush::FacLoadResult::kCannotOpen:
            std::fprintf(stderr, "camprep push: cannot read %s: %s\n", args.fac.c_str(), std::strerror(openErrno));
            return cli::kExitUsage;
        case cfgpush::FacLoadResult::kBadFormat:
            std::fprintf(stderr, "%s\n", Text(cfgpush::ids::kMsgBadFileFormat).c_str());
            return cli::kExitUsage;
    }
    const std::vector<cfgpush::ProductTypeEntry> types = package.ProductTypesInBoxOrder();
    if (types.empty()) {
        std::fprintf(stderr, "%s\n", Text(cfgpush::ids::kMsgImportFileFirst).c_str());
        return cli::kExitUsage;
    }
    int32_t entry = types.front().entryNumber;
    if (!args.productType.empty()) {
        const std::optional<int32_t> found = package.FindProductByName(args.productType);
        if (!found) {
            return Usage("the package has no product type \"" + args.productType + "\"");
        }
        entry = *found;
    }
    cfgpush::FactoryItemLists lists;
    if (!cfgpush::BuildItemLists(package, entry, lists)) {
        std::fprintf(stderr, "%s\n", Text(cfgpush::ids::kMsgFileIncorrect).c_str());
        return cli::kExitUsage;
    }

    if (args.targets.discover) {
        std::vector<SEARCH_DEVICE_INFO> found;
        std::string error;
        if (!cli::DiscoverDevices("KMX", args.targets, found, error)) {
            std::fprintf(stderr, "camprep push: %s\n", error.c_str());
            return cli::kExitFailed;
        }
        for (const SEARCH_DEVICE_INFO& d : found) {
            targets.push_back(cfgpush::PushTargetFromRecord(d));
            models.emplace_back(d.productModel, strnlen(d.productModel, sizeof d.productModel));
        }
        if (targets.empty()) {
            std::fprintf(stderr, "camprep push: no device found\n");
            return cli::kExitFailed;
        }
    }

    std::vector<cfgpush::_file_cfg_info> jobs(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        if (!cfgpush::MakePushJob(static_cast<int32_t>(i), targets[i], userName, password, lists, package,
                                  jobs[i])) {
            std::fprintf(stderr, "%s\n", Text(cfgpush::ids::kMsgFileIncorrect).c_str());
            return cli::kExitUsage;
        }
    }
    // What is printed of each job, kept before the job goes to its worker.
    struct Shown {
        std::string address;
        int32_t port;
        std::string mac;
        std::string softwareVersion;
        bool version3;
    };
    std::vector<Shown> shown;
    for (const auto& job : jobs) {
        shown.push_back({job.firstAddress[0] != '\0' ? job.firstAddress : job.secondAddress, job.dataPort & 0xFFFF,
                         job.mac, job.softwareVersion, job.version3});
    }

    auto queue = std::make_shared<cli::ResultQueue<std::pair<int, int>>>();
    std::vector<int> codes(jobs.size(), 0);
    std::vector<std::string> times(jobs.size());
    std::vector<double> seconds(jobs.size(), 0.0);
    const auto start = std::chrono::steady_clock::now();
    bool interrupted = false;
    {
        cfgpush::PushWorkerGroup workers;
        for (auto& job : jobs) {
            cfgpush::PushOptions options;
            options.dryRun = args.dryRun;
            workers.Start(std::move(job), [queue](int row, int code) { queue->Push({row, code}); }, options);
        }
        platform::InterruptWatch interrupt;
        for (size_t n = 0; n < shown.size(); ++n) {
            std::pair<int, int> result;
            while (!queue->PopFor(result, std::chrono::milliseconds(200))) {
                if (interrupt.Interrupted() && !interrupted) {
                    // Every device started at once: nothing is left to hold back.
                    interrupted = true;
                    std::fprintf(stderr,
                                 "camprep push: interrupted: waiting for the %zu devices still running "
                                 "(Ctrl-C again ends at once)\n",
                                 shown.size() - n);
                }
            }
            const auto [row, code] = result;
            codes[static_cast<size_t>(row)] = code;
            times[static_cast<size_t>(row)] = report::ReportTime();
            seconds[static_cast<size_t>(row)] =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!args.json) {
                const Shown& s = shown[static_cast<size_t>(row)];
                std::printf("%s:%d\t%s\t%s\n", s.address.c_str(), s.port, s.mac.empty() ? "-" : s.mac.c_str(),
                            ResultText(code, args.dryRun, s.version3).c_str());
                std::fflush(stdout);
            }
        }
    }  // the workers have all reported: joined here

    bool allOk = true;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (size_t i = 0; i < shown.size(); ++i) {
        allOk = allOk && codes[i] == cfgpush::kPushSuccess;
        out.push_back({{"address", shown[i].address},
                       {"port", shown[i].port},
                       {"mac", shown[i].mac},
                       {"software_version", shown[i].softwareVersion},
                       {"path", shown[i].version3 ? "v3" : "v4"},
                       {"code", codes[i]},
                       {"result", ResultText(codes[i], args.dryRun, shown[i].version3)}});
    }
    if (args.json) {
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
    if (!args.report.empty()) {
        std::vector<report::ReportRow> rows;
        for (size_t i = 0; i < shown.size(); ++i) {
            report::ReportRow r;
            r.time = times[i];
            r.mac = shown[i].mac;
            r.address = shown[i].address;
            r.port = shown[i].port;
            r.model = models[i];
            r.versionBefore = shown[i].softwareVersion;
            r.code = codes[i];
            r.result = ResultText(codes[i], args.dryRun, shown[i].version3);
            r.success = codes[i] == cfgpush::kPushSuccess;
            r.attempts = 1;
            r.seconds = seconds[i];
            rows.push_back(std::move(r));
        }
        std::string error;
        if (!report::WriteReport(args.report, rows, error)) {
            std::fprintf(stderr, "camprep push: %s\n", error.c_str());
            return cli::kExitFailed;
        }
    }
    return allOk && !interrupted ? cli::kExitOk : cli::kExitFailed;
}

const cli::CommandRegistrar kPush("push", [](CLI::App& app) {
    auto args = std::make_shared<PushArgs>();
    CLI::App* sub = app.add_subcommand(
        "push",
        "Push a factory configuration package to devices, one worker per device at once.\n"
        "Devices come from --device HOST:PORT (both of the device's addresses are HOST) or\n"
        "from --discover (the devices the search finds on the local networks).\n"
        "Ctrl-C lets the running devices finish and exits 1;\n"
        "a second Ctrl-C ends at once. Exit status: 0 every device succeeded, 1 some did not,\n"
        "2 bad usage or a bad package.");
    sub->add_option("--fac", args->fac, "The .fac package")->required()->type_name("FILE");
    sub->add_option("--product-type", args->productType, "Product type (default: the first in sorted order)");
    sub->add_option("--user", args->user, "Device user name (default admin)");
    cli::AddPasswordOptions(sub, args->password);
    sub->add_flag("--json", args->json, "Print one JSON array when every device has finished");
    cli::AddDeviceOptions(sub, args->targets, "Push to the devices the search finds");
    cli::AddReportOption(sub, args->report);
    sub->add_flag("--dry-run", args->dryRun,
                  "Reach each device and, on the version-4 path, log in; report which path the push would\n"
                  "take, and send nothing");
    sub->add_option("--software-version", args->softwareVersion,
                    "Software version of the --device devices (\"3...\" takes the version-3 path; default empty)");
    return [args] { return RunPush(*args); };
});

}  // namespace
