// `camprep upgrade`: upgrades devices given by address or found by the
// search, at most --parallel at once, with the engine Fwbatch uses, and
// shows each device's progress and result.

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "common/platform/Files.h"
#include "common/platform/InterruptWatch.h"
#include "common/platform/NetworkPlatform.h"
#include "common/platform/Process.h"
#include "common/report/RunReport.h"
#include "discovery/VersionText.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "fwbatch/engine/UpgradeBatch.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "strings/EmbeddedStrings.h"

namespace {

struct UpgradeArgs {
    std::string package;
    std::string type = "software";
    std::string user = "admin";
    cli::PasswordArgs password;
    cli::DeviceArgs targets;
    bool prepare = true;
    int parallel = static_cast<int>(fwbatch::UpgradeBatch::kMaxParallel);
    bool json = false;
    std::string report;
    int maxFailPercent = -1;
    int canary = 0;
    bool dryRun = false;
    bool verify = true;
    double verifySeconds = 180;
};

std::string Text(uint32_t id) { return id == 0 ? std::string() : strings::FwbatchStrings().Load(id); }

// A dry run's success: the checks passed and nothing was sent.
constexpr const char* kWouldUpgrade = "would be upgraded (checks passed, nothing sent)";

// What a result says: its text, or for a dry run's success what would happen.
std::string ResultText(int code, bool dryRun) {
    return dryRun && code == fwbatch::kUpgradeSuccess ? kWouldUpgrade : Text(fwbatch::UpgradeResultStringId(code));
}

std::string VersionText(uint32_t word) {
    return word == 0 ? std::string() : discovery::SoftwareVersionText(word);
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "camprep upgrade: %s\n", message.c_str());
    return cli::kExitUsage;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    // The package length travels as a signed 32-bit number.
    int error = 0;
    return platform::ReadRegularFile(path, 0x7FFFFFFF, bytes, error) ==
           platform::FileReadResult::kOk;
}

// One device as the output shows it.
struct Shown {
    std::string address;
    int port = 0;
    std::string mac;
    std::string model;  // known for a device the search found
    int percent = -1;  // -1 before any progress
    fwbatch::UpgradeReport report;
    bool finished = false;
    bool notStarted = false;  // interrupted before its turn came
    bool dryRun = false;
    std::string time;         // when the result came

    std::string Line() const {
        std::string state;
        if (finished) {
            state = ResultText(report.code, dryRun);
        } else if (notStarted) {
            state = "not started";
        } else if (percent >= 0) {
            state = std::to_string(percent) + "%";
        }
        return address + ":" + std::to_string(port) + "\t" + (mac.empty() ? "-" : mac) + "\t" + state;
    }
};

struct ProgressEvent {
    int index;
    int percent;
};
struct ResultEvent {
    int index;
    fwbatch::UpgradeReport report;
};
using Event = std::variant<ProgressEvent, ResultEvent>;

// Live progress on a terminal: one line per device, rewritten in place.
class LiveLines {
public:
    explicit LiveLines(const std::vector<Shown>& shown) : m_shown(shown) {
        for (const Shown& s : m_shown) {
            std::printf("%s\n", s.Line().c_str());
        }
        std::fflush(stdout);
    }
    void Redraw(size_t i) {
        const size_t up = m_shown.size() - i;
        std::printf("\x1b[%zuA\r\x1b[2K%s\x1b[%zuB\r", up, m_shown[i].Line().c_str(), up);
        std::fflush(stdout);
    }

private:
    const std::vector<Shown>& m_shown;
};

bool LiveTerminal(size_t lines) {
    size_t rows = 0;
    // Lines that scrolled away cannot be rewritten.
    return platform::StdoutTerminalRows(rows) && rows > lines;
}

enum class Stop {
    None,         // every device ran
    Interrupted,  // Ctrl-C
    Failures,     // too many failed, or a canary did
};

// Runs batches of devices to their end or until they are stopped, showing
// progress and results as they come.
struct BatchRun {
    std::shared_ptr<fwbatch::UpgradeSettings> settings;
    std::vector<Shown>& shown;
    LiveLines* lines;
    bool json;
    int maxFailPercent;  // -1: no limit
    fwbatch::UpgradeOptions options;

    Stop Run(std::vector<std::unique_ptr<fwbatch::_update_Info>> records, size_t parallel,
             platform::InterruptWatch& interrupt) {
        auto queue = std::make_shared<cli::ResultQueue<Event>>();
        Stop stop = Stop::None;
        {
            fwbatch::UpgradeBatch batch(
                settings, [queue](int index, int percent) { queue->Push(ProgressEvent{index, percent}); },
                [queue](int index, const fwbatch::UpgradeReport& report) {
                    queue->Push(ResultEvent{index, report});
                },
                options);
            for (auto& record : records) {
                batch.Add(std::move(record));
            }
            batch.SetMaxFailPercent(maxFailPercent);
            batch.Start(parallel);
            bool complete = batch.Size() == 0;
            while (!complete && stop == Stop::None) {
                if (interrupt.Interrupted()) {
                    stop = Stop::Interrupted;
                    std::fprintf(stderr,
                                 "camprep upgrade: interrupted: no further device is started; the running "
                                 "ones finish (Ctrl-C again ends at once)\n");
                    break;
                }
                Event event;
                if (!queue->PopFor(event, std::chrono::milliseconds(200))) {
                    continue;
                }
                if (const auto* p = std::get_if<ProgressEvent>(&event)) {
                    Progress(*p);
                    continue;
                }
                const auto& r = std::get<ResultEvent>(event);
                Result(r);
                complete = batch.MarkDone(r.index);
                if (!complete && batch.StoppedByFailures()) {
                    stop = Stop::Failures;
                    std::fprintf(stderr,
                                 "camprep upgrade: more than %d%% of the finished devices failed: no further "
                                 "device is started; the running ones finish\n",
                                 maxFailPercent);
                }
            }
            if (stop != Stop::None) {
                batch.StopStarting();
                batch.Join();  // the running workers end within their own limits
                // What they reported is in the queue.
                Event event;
                while (queue->PopFor(event, std::chrono::milliseconds(0))) {
                    if (const auto* r = std::get_if<ResultEvent>(&event)) {
                        Result(*r);
                    }
                }
                MarkNotStarted();
            }
        }  // every worker has reported: joined here
        std::fflush(stdout);
        return stop;
    }

    void Progress(const ProgressEvent& p) {
        Shown& s = shown[static_cast<size_t>(p.index)];
        if (!s.finished && p.percent != s.percent) {
            s.percent = p.percent;
            if (lines != nullptr) {
                lines->Redraw(static_cast<size_t>(p.index));
            }
        }
    }

    void Result(const ResultEvent& r) {
        Shown& s = shown[static_cast<size_t>(r.index)];
        s.report = r.report;
        s.finished = true;
        s.time = report::ReportTime();
        Show(static_cast<size_t>(r.index));
    }

    // Every device without a result is one that was never started.
    void MarkNotStarted() {
        for (size_t i = 0; i < shown.size(); ++i) {
            if (!shown[i].finished && !shown[i].notStarted) {
                shown[i].notStarted = true;
                Show(i);
            }
        }
    }

    void Show(size_t i) {
        if (lines != nullptr) {
            lines->Redraw(i);
        } else if (!json) {
            std::printf("%s\n", shown[i].Line().c_str());
            std::fflush(stdout);
        }
    }
};

int RunUpgrade(const UpgradeArgs& args) {
    auto settings = std::make_shared<fwbatch::UpgradeSettings>();
    std::string wrong;
    std::vector<std::string> byAddress;
    if (!cli::CheckDevicesAndPassword(args.targets, args.password, byAddress, settings->password, wrong)) {
        return Usage(wrong);
    }
    if (cli::NothingToRerun("camprep upgrade", args.targets, byAddress)) {
        return cli::kExitOk;
    }
    wrong = cli::CheckCredentialFields(args.user, settings->password);
    if (!wrong.empty()) {
        return Usage(wrong);
    }
    settings->type = fwbatch::UpgradeTypeFromName(args.type);
    settings->dryRun = args.dryRun;
    settings->verify = args.verify;
    settings->userName = args.user;
    // Read once, before any device starts; the checks that depend on the
    // device come after its login.
    if (!ReadWholeFile(args.package, settings->package)) {
        std::fprintf(stderr, "%s\n", Text(fwbatch::ids::kResultOpenFileFailed).c_str());
        return cli::kExitUsage;
    }

    std::vector<Shown> shown;
    std::vector<std::unique_ptr<fwbatch::_update_Info>> records;
    for (const std::string& d : byAddress) {
        Shown s;
        s.dryRun = args.dryRun;
        int32_t port = 0;
        cli::ParseDevice(d, s.address, port);
        s.port = port;
        auto record = std::make_unique<fwbatch::_update_Info>();
        record->index = static_cast<int32_t>(records.size());
        platform::ParseIPv4(s.address, record->address);
        record->commandPort = static_cast<uint32_t>(port);
        record->httpPort = 80;  // not known for a device given by address
        records.push_back(std::move(record));
        shown.push_back(s);
    }
    if (args.targets.discover) {
        std::vector<SEARCH_DEVICE_INFO> found;
        std::string error;
        if (!cli::DiscoverDevices("KMX_IPC", args.targets, found, error)) {
            std::fprintf(stderr, "camprep upgrade: %s\n", error.c_str());
            return cli::kExitFailed;
        }
        if (found.empty()) {
            std::fprintf(stderr, "camprep upgrade: no device found\n");
            return cli::kExitFailed;
        }
        if (args.prepare) {
            cli::PrepareAdapters("camprep upgrade", found);
        }
        for (const SEARCH_DEVICE_INFO& d : found) {
            auto record = fwbatch::MakeUpdateRecord(static_cast<int32_t>(records.size()), d);
            Shown s;
            s.dryRun = args.dryRun;
            s.address = platform::FormatIPv4(record->address);
            s.port = d.dataPort;
            s.mac = cli::FieldText(d.mac);
            s.model = cli::FieldText(d.productModel);
            records.push_back(std::move(record));
            shown.push_back(s);
        }
    }

    const bool live = !args.json && LiveTerminal(shown.size());
    std::unique_ptr<LiveLines> lines;
    if (live) {
        lines = std::make_unique<LiveLines>(shown);
    }
    BatchRun run{settings, shown, lines.get(), args.json, args.maxFailPercent, {}};
    run.options.timings.verifyLimitMs = static_cast<uint32_t>(args.verifySeconds * 1000);
    platform::InterruptWatch interrupt;
    // A canary: the first devices alone; the rest only when all of them
    // succeeded.
    const size_t canary = std::min(static_cast<size_t>(std::max(args.canary, 0)), records.size());
    std::vector<std::unique_ptr<fwbatch::_update_Info>> rest;
    if (canary > 0) {
        rest.assign(std::make_move_iterator(records.begin() + static_cast<std::ptrdiff_t>(canary)),
                    std::make_move_iterator(records.end()));
        records.resize(canary);
    }
    Stop stop = run.Run(std::move(records), static_cast<size_t>(args.parallel), interrupt);
    if (stop == Stop::None && !rest.empty()) {
        const bool canaryOk = std::all_of(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(canary),
                                          [](const Shown& s) { return s.report.code == fwbatch::kUpgradeSuccess; });
        if (canaryOk) {
            stop = run.Run(std::move(rest), static_cast<size_t>(args.parallel), interrupt);
        } else {
            stop = Stop::Failures;
            std::fprintf(stderr, "camprep upgrade: a canary device did not succeed: no further device is started\n");
            run.MarkNotStarted();
        }
    }

    bool allOk = true;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const Shown& s : shown) {
        allOk = allOk && s.report.code == fwbatch::kUpgradeSuccess;
        out.push_back({{"address", s.address},
                       {"port", s.port},
                       {"mac", s.mac},
                       {"code", s.report.code},
                       {"result", s.notStarted ? std::string("not started")
                                               : ResultText(s.report.code, args.dryRun)},
                       {"attempts", s.report.attempts},
                       {"seconds", s.report.seconds},
                       {"version_before", VersionText(s.report.versionBefore)},
                       {"version_after", VersionText(s.report.versionAfter)}});
    }
    if (args.json) {
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
    if (!args.report.empty()) {
        std::vector<report::ReportRow> rows;
        for (const Shown& s : shown) {
            report::ReportRow r;
            r.time = s.time;
            r.mac = s.mac;
            r.address = s.address;
            r.port = s.port;
            r.model = s.model;
            r.code = s.report.code;
            r.result = s.notStarted ? std::string("not started") : ResultText(s.report.code, args.dryRun);
            r.versionBefore = VersionText(s.report.versionBefore);
            r.versionAfter = VersionText(s.report.versionAfter);
            r.success = s.report.code == fwbatch::kUpgradeSuccess;
            r.started = !s.notStarted;
            r.attempts = s.report.attempts;
            r.seconds = s.report.seconds;
            rows.push_back(std::move(r));
        }
        std::string error;
        if (!report::WriteReport(args.report, rows, error)) {
            std::fprintf(stderr, "camprep upgrade: %s\n", error.c_str());
            return cli::kExitFailed;
        }
    }
    return allOk && stop == Stop::None ? cli::kExitOk : cli::kExitFailed;
}

const cli::CommandRegistrar kUpgrade("upgrade", [](CLI::App& app) {
    auto args = std::make_shared<UpgradeArgs>();
    CLI::App* sub = app.add_subcommand(
        "upgrade",
        "Upgrade the firmware of devices, as Fwbatch does: connect, log in, check the package\n"
        "against each device and send it in 100 pieces at the device's pace, retrying a broken\n"
        "transfer up to 5 attempts in all.\n"
        "Devices come from --device HOST:PORT (both of the device's addresses are HOST) or from\n"
        "--discover (the devices the search finds on the local networks). Fwbatch's window\n"
        "refuses a batch of more than 32 devices; here more\n"
        "devices are upgraded as earlier ones finish, at most --parallel at once.\n"
        "Ctrl-C starts no further device and lets the running ones finish, then prints the results\n"
        "(devices not started say so) and exits 1; a second Ctrl-C ends at once.\n"
        "Exit status: 0 every device upgraded, 1 some did not, 2 bad usage or an unreadable package.");
    sub->add_option("--package", args->package, "The upgrade package file")
        ->required()
        ->type_name("FILE");
    sub->add_option("--type", args->type, "What the package upgrades (default software)")
        ->check(CLI::IsMember({"software", "kernel", "uboot", "ai"}));
    sub->add_option("--user", args->user, "Device user name (default admin)");
    cli::AddPasswordOptions(sub, args->password);
    cli::AddDeviceOptions(sub, args->targets, "Upgrade the devices the search finds");
    sub->add_flag("--prepare,!--no-prepare", args->prepare,
                  "With --discover: give a local adapter an address in the subnet of a device that no\n"
                  "adapter reaches, as Fwbatch does (default; needs the right to change addresses).\n"
                  "--device targets are never prepared");
    sub->add_option("--parallel", args->parallel, "Devices upgraded at once (1..32, default 32)")
        ->check(CLI::Range(1, 32));
    sub->add_flag("--json", args->json, "Print one JSON array when every device has finished");
    cli::AddReportOption(sub, args->report);
    sub->add_option("--max-fail-percent", args->maxFailPercent,
                    "Start no further device once more than this percentage of the finished devices failed\n"
                    "(the running ones finish; the others are reported as not started)")
        ->check(CLI::Range(0, 100));
    sub->add_flag("--verify,!--no-verify", args->verify,
                  "After a device reports success, log in again until it is back with what the upgrade\n"
                  "type can show (default): software a new software version; kernel and uboot the login\n"
                  "accepted; ai the login accepted and \"GetDeviceInfo\" answered. Back without it to the\n"
                  "end is \"Upgrade not applied!\", no login at all \"Device did not come back!\"");
    sub->add_option("--verify-timeout", args->verifySeconds,
                    "Seconds a device has to come back upgraded (default 180)")
        ->check(CLI::Range(1.0, 3600.0));
    sub->add_flag("--dry-run", args->dryRun,
                  "Connect, log in and check the package against each device (type, trailer, kind,\n"
                  "compression for the device's version), report what would happen, and send nothing");
    sub->add_option("--canary", args->canary,
                    "Upgrade this many devices first (in the given order) and go on with the rest only if\n"
                    "all of them succeeded")
        ->check(CLI::Range(1, 1000000));
    return [args] { return RunUpgrade(*args); };
});

}  // namespace
