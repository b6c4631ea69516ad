// `camprep upgrade`: upgrades devices given by address or found by the
// search, at most --parallel at once, with the engine Fwbatch uses, and
// shows each device's progress and result.
#include <sys/ioctl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/CommandSupport.h"
#include "cli/Interrupt.h"
#include "common/platform/NetworkPlatform.h"
#include "fwbatch/engine/FwbatchStringIds.h"
#include "fwbatch/engine/UpgradeBatch.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "ui/EmbeddedStrings.h"

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
};

std::string Text(uint32_t id) { return id == 0 ? std::string() : strings::FwbatchStrings().Load(id); }

int Usage(const std::string& message) {
    std::fprintf(stderr, "camprep upgrade: %s\n", message.c_str());
    return cli::kExitUsage;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // The package length travels as a signed 32-bit number.
    return !in.bad() && bytes.size() <= 0x7FFFFFFFu;
}

// One device as the output shows it.
struct Shown {
    std::string address;
    int port = 0;
    std::string mac;
    int percent = -1;  // -1 before any progress
    fwbatch::UpgradeReport report;
    bool finished = false;
    bool notStarted = false;  // interrupted before its turn came

    std::string Line() const {
        std::string state;
        if (finished) {
            state = Text(fwbatch::UpgradeResultStringId(report.code));
        } else if (notStarted) {
            state = "not started (interrupted)";
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
    if (::isatty(STDOUT_FILENO) != 1) {
        return false;
    }
    winsize size{};
    // Lines that scrolled away cannot be rewritten.
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > lines;
}

int RunUpgrade(const UpgradeArgs& args) {
    auto settings = std::make_shared<fwbatch::UpgradeSettings>();
    std::string wrong;
    if (!cli::CheckDevicesAndPassword(args.targets, args.password, settings->password, wrong)) {
        return Usage(wrong);
    }
    wrong = cli::CheckCredentialFields(args.user, settings->password);
    if (!wrong.empty()) {
        return Usage(wrong);
    }
    settings->type = fwbatch::UpgradeTypeFromName(args.type);
    settings->userName = args.user;
    // Read once, before any device starts; the checks that depend on the
    // device come after its login.
    if (!ReadWholeFile(args.package, settings->package)) {
        std::fprintf(stderr, "%s\n", Text(fwbatch::ids::kResultOpenFileFailed).c_str());
        return cli::kExitUsage;
    }

    std::vector<Shown> shown;
    std::vector<std::unique_ptr<fwbatch::_update_Info>> records;
    for (const std::string& d : args.targets.devices) {
        Shown s;
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
            s.address = platform::FormatIPv4(record->address);
            s.port = d.dataPort;
            s.mac = cli::FieldText(d.mac);
            records.push_back(std::move(record));
            shown.push_back(s);
        }
    }

    const bool live = !args.json && LiveTerminal(shown.size());
    std::unique_ptr<LiveLines> lines;
    if (live) {
        lines = std::make_unique<LiveLines>(shown);
    }
    auto queue = std::make_shared<cli::ResultQueue<Event>>();
    bool interrupted = false;
    {
        fwbatch::UpgradeBatch batch(
            settings, [queue](int index, int percent) { queue->Push(ProgressEvent{index, percent}); },
            [queue](int index, const fwbatch::UpgradeReport& report) {
                queue->Push(ResultEvent{index, report});
            });
        for (auto& record : records) {
            batch.Add(std::move(record));
        }
        cli::InterruptWatch interrupt;
        batch.Start(static_cast<size_t>(args.parallel));
        bool complete = false;
        while (!complete) {
            if (interrupt.Interrupted()) {
                interrupted = true;
                batch.StopStarting();
                std::fprintf(stderr,
                             "camprep upgrade: interrupted: no further device is started; the running "
                             "ones finish (Ctrl-C again ends at once)\n");
                batch.Join();  // the running workers end within their own limits
                break;         // what they reported is in the queue
            }
            Event event;
            if (!queue->PopFor(event, std::chrono::milliseconds(200))) {
                continue;
            }
            if (const auto* p = std::get_if<ProgressEvent>(&event)) {
                Shown& s = shown[static_cast<size_t>(p->index)];
                if (!s.finished && p->percent != s.percent) {
                    s.percent = p->percent;
                    if (lines) {
                        lines->Redraw(static_cast<size_t>(p->index));
                    }
                }
                continue;
            }
            const auto& r = std::get<ResultEvent>(event);
            Shown& s = shown[static_cast<size_t>(r.index)];
            s.report = r.report;
            s.finished = true;
            complete = batch.MarkDone(r.index);
            if (lines) {
                lines->Redraw(static_cast<size_t>(r.index));
            } else if (!args.json) {
                std::printf("%s\n", s.Line().c_str());
                std::fflush(stdout);
            }
        }
        // After an interruption: the results the running devices left.
        Event event;
        while (interrupted && queue->PopFor(event, std::chrono::milliseconds(0))) {
            if (const auto* r = std::get_if<ResultEvent>(&event)) {
                Shown& s = shown[static_cast<size_t>(r->index)];
                s.report = r->report;
                s.finished = true;
                if (!lines && !args.json) {
                    std::printf("%s\n", s.Line().c_str());
                }
            }
        }
        for (size_t i = 0; interrupted && i < shown.size(); ++i) {
            if (!shown[i].finished) {
                shown[i].notStarted = true;
                if (lines) {
                    lines->Redraw(i);
                } else if (!args.json) {
                    std::printf("%s\n", shown[i].Line().c_str());
                }
            }
        }
        std::fflush(stdout);
    }  // every worker has reported: joined here

    bool allOk = true;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const Shown& s : shown) {
        allOk = allOk && s.report.code == fwbatch::kUpgradeSuccess;
        out.push_back({{"address", s.address},
                       {"port", s.port},
                       {"mac", s.mac},
                       {"code", s.report.code},
                       {"result", s.notStarted ? std::string("not started")
                                               : Text(fwbatch::UpgradeResultStringId(s.report.code))},
                       {"attempts", s.report.attempts},
                       {"seconds", s.report.seconds}});
    }
    if (args.json) {
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
    return allOk && !interrupted ? cli::kExitOk : cli::kExitFailed;
}

const cli::CommandRegistrar kUpgrade("upgrade", [](CLI::App& app) {
    auto args = std::make_shared<UpgradeArgs>();
    CLI::App* sub = app.add_subcommand(
        "upgrade",
        "Upgrade the firmware of devices, as Fwbatch does: connect, log in, check the package\n"
        "against each device and send it in 100 pieces at the device's pace, retrying a broken\n"
        "transfer up to 5 attempts in all.\n"
        "Devices come from --device HOST:PORT (both of the device's addresses are HOST) or from\n"
        "--discover (run that inside a private network namespace unless you mean to search the\n"
        "real network). Fwbatch's window refuses a batch of more than 32 devices; here more\n"
        "devices are upgraded as earlier ones finish, at most --parallel at once.\n"
        "Ctrl-C starts no further device and lets the running ones finish, then prints the results\n"
        "(devices not started say so) and exits 1; a second Ctrl-C ends at once.\n"
        "Exit status: 0 every device upgraded, 1 some did not, 2 bad usage or an unreadable package.");
    sub->add_option("--package", args->package, "The upgrade package file")->required();
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
    return [args] { return RunUpgrade(*args); };
});

}  // namespace
