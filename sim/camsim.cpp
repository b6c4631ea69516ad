// camsim: simulated cameras for tests, benchmarks and the demo. Runs one or
// many devices in one process until SIGINT or SIGTERM.

#include <arpa/inet.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "common/platform/NetworkPlatform.h"
#include "sim/ControlCommand.h"
#include "sim/FleetFile.h"
#include "sim/Simulator.h"

namespace {

constexpr const char* kFooter = R"(
Devices listen on their own loopback address by default (device 0 on
127.0.0.2, device 1 on 127.0.0.3, ...; 127.0.0.1 stays free), each at its
data port. Nothing but loopback is used unless a listen address is given
(--listen, or "listen" in the fleet file).

The device search is answered on loopback only (plus the interfaces that
carry an explicitly given listen address) unless --search-interface says
otherwise. Search traffic belongs in a private network namespace:
  sudo unshare --net sh -c 'ip link set lo up; camsim --devices 4 & sleep 1; camprep discover --interface lo'

Output: one line per device, "device INDEX MAC ADDRESS:PORT NAME", then
"ready COUNT". Signals: SIGINT, SIGTERM stop cleanly; SIGUSR1 makes every
device leave the search, SIGUSR2 brings them all back.

Commands on standard input (with --commands), one per line:
  leave DEVICE | return DEVICE | list | flush | quit
  (DEVICE: an index from 0, a MAC text, or "all")

Random faults (--fault-seed and the rates, or "faults": {"random": ...} in the
fleet file) are seeded per device and repeat exactly for the same seed and the
same exchanges; the faults that ended a connection are in the records
("injected"). See the fleet file's "random" settings below.

Records (with --store DIR): DIR/devices.json, and per device
DIR/device-INDEX/records.json with config-N.bin, http-N.bin and
image-TYPE.bin beside it; written within 200 ms of a change and at exit.
Login records are written with their password field zeroed.

)";

struct Options {
    size_t devices = 0;
    std::string fleet;
    std::string store;
    std::string listen;
    int port = -1;
    std::string user;
    std::string password;
    int digestMode = -1;
    bool encrypt = false;
    int64_t fragment = -1;
    int64_t keepAlive = -1;
    int64_t pieceDelay = -1;
    int64_t writeTime = -1;
    std::string versionAfterUpgrade;
    int64_t replyDelay = -1;
    bool reboot = false;
    int64_t maxSessions = -1;
    bool noSearch = false;
    bool onvif = false;
    int64_t onvifSpread = -1;
    std::vector<std::string> searchInterfaces;
    bool commands = false;
    bool quiet = false;
    // Random faults; negative: as the fleet file says.
    int64_t faultSeed = -1;
    double resetRate = -1;
    double stallRate = -1;
    double corruptRate = -1;
    double refuseRate = -1;
    double splitRate = -1;
    double slowRate = -1;
    int64_t slowMaxMs = -1;
    int64_t faultSpan = -1;
};

// The command line's settings as fleet-file keys, for device `index`.
void Overlay(const Options& o, size_t index, nlohmann::json& s) {
    if (!o.listen.empty()) {
        s["listen"] = o.listen;
        // One shared address: the devices take consecutive ports.
        const int base = o.port >= 0 ? o.port : 9008;
        s["dataPort"] = base == 0 ? 0 : base + static_cast<int>(index);
    } else if (o.port >= 0) {
        s["dataPort"] = o.port;
    }
    if (o.onvif) {
        s["onvif"]["enabled"] = true;
        if (!o.listen.empty())
            s["httpPort"] = 0;  // one shared address: any free port each
    }
    if (!o.user.empty())
        s["user"] = o.user;
    if (!o.password.empty())
        s["password"] = o.password;
    if (o.digestMode >= 0)
        s["greeting"]["digestMode"] = o.digestMode;
    if (o.encrypt)
        s["greeting"]["encrypted"] = true;
    if (o.fragment >= 0)
        s["link"]["fragmentSize"] = o.fragment;
    if (o.keepAlive >= 0)
        s["link"]["keepAliveMs"] = o.keepAlive;
    if (o.pieceDelay >= 0)
        s["behaviour"]["pieceDelayMs"] = o.pieceDelay;
    if (o.writeTime >= 0)
        s["behaviour"]["writeImageMs"] = o.writeTime;
    if (o.reboot)
        s["behaviour"]["finish"] = "reboot";
    if (o.replyDelay >= 0)
        s["behaviour"]["replyDelayMs"] = o.replyDelay;
    if (!o.versionAfterUpgrade.empty())
        s["behaviour"]["versionAfterUpgrade"] = o.versionAfterUpgrade;
    if (o.maxSessions >= 0)
        s["behaviour"]["maxSessions"] = o.maxSessions;
    nlohmann::json random = nlohmann::json::object();
    if (o.faultSeed >= 0)
        random["seed"] = o.faultSeed;
    const std::pair<const char*, double> rates[] = {
        {"reset", o.resetRate}, {"stall", o.stallRate}, {"corruptHeader", o.corruptRate},
        {"refuseLogin", o.refuseRate}, {"split", o.splitRate}, {"slow", o.slowRate}};
    for (const auto& [key, rate] : rates) {
        if (rate >= 0)
            random[key] = rate;
    }
    if (o.slowMaxMs >= 0)
        random["slowMaxMs"] = o.slowMaxMs;
    if (o.faultSpan >= 0)
        random["span"] = o.faultSpan;
    if (!random.empty())
        s["faults"]["random"] = std::move(random);
}

bool IsLoopback(const std::string& address) {
    in_addr a{};
    return inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

// Loopback, and every interface that carries a non-loopback listen address.
std::vector<std::string> DefaultSearchInterfaces(const std::vector<sim::DeviceConfig>& devices) {
    std::set<std::string> names{"lo"};
    std::vector<platform::AdapterInfo> adapters;
    bool listed = false;
    for (const sim::DeviceConfig& d : devices) {
        if (IsLoopback(d.identity.listenAddress))
            continue;
        if (!listed) {
            listed = platform::Network().GetAdapters(adapters) == platform::kNetOk;
        }
        in_addr a{};
        inet_pton(AF_INET, d.identity.listenAddress.c_str(), &a);
        for (const auto& adapter : adapters) {
            for (const auto& address : adapter.addresses) {
                if (address.address == a.s_addr)
                    names.insert(adapter.name);
            }
        }
    }
    return {names.begin(), names.end()};
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void BroadcastSearch(sim::Simulator& simulator, bool leave) {
    for (size_t i = 0; i < simulator.DeviceCount(); ++i) {
        if (leave) {
            simulator.Leave(i);
        } else {
            simulator.Return(i);
        }
    }
}

// Waits for signals and commands until told to stop.
void Serve(sim::Simulator& simulator, int signals, bool commands) {
    std::string pending;
    bool stdinOpen = commands;
    for (;;) {
        pollfd fds[2] = {{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, stdinOpen ? 2 : 1, -1) < 0) {
            continue;  // EINTR
        }
        if ((fds[0].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            if (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo == SIGUSR1 || info.ssi_signo == SIGUSR2) {
                    BroadcastSearch(simulator, info.ssi_signo == SIGUSR1);
                } else {
                    return;  // SIGINT, SIGTERM
                }
            }
        }
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[4096];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;  // no more commands; signals still stop camsim
                continue;
            }
            pending.append(buffer, static_cast<size_t>(n));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                const sim::ControlResult result =
                    sim::RunControlCommand(simulator, pending.substr(0, end));
                pending.erase(0, end + 1);
                std::fputs(result.reply.c_str(), stdout);
                std::fflush(stdout);
                if (result.quit)
                    return;
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app{
        "camsim: simulated network cameras (the device end of every exchange of Cfgpush and "
        "Fwbatch)"};
    app.footer(std::string(kFooter) + sim::FleetSchemaText());
    app.add_option("--devices", o.devices,
                   "Number of devices (default: as the fleet file says, else 1)")
        ->check(CLI::Range(1, 65536));
    app.add_option("--fleet", o.fleet, "Fleet file (JSON) with per-device settings, see below")
        ->check(CLI::ExistingFile);
    app.add_option("--store", o.store, "Write what the devices receive below this directory");
    app.add_option(
        "--listen", o.listen,
        "Every device listens on this IPv4 address, at consecutive ports from --port (for a "
        "network namespace)");
    app.add_option("--port", o.port,
                   "Data port (default 9008; with --listen the first device's; 0 = any free)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--user", o.user, "User name of every device (default admin)");
    app.add_option("--password", o.password, "Password of every device (default 739164)");
    app.add_option("--digest-mode", o.digestMode,
                   "Login form: 0 plain, 1 digest, 2 digest and scrambled name")
        ->check(CLI::Range(0, 2));
    app.add_flag("--encrypt", o.encrypt, "Greeting turns HTTP payload encryption on");
    app.add_option("--fragment", o.fragment,
                   "Send replies in fragments of this many bytes (0 = whole)")
        ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
    app.add_option("--keep-alive", o.keepAlive, "Send an empty frame every so many ms (0 = none)")
        ->check(CLI::Range(int64_t{0}, int64_t{3600000}));
    app.add_option("--piece-delay", o.pieceDelay,
                   "Milliseconds before each upgrade progress reply (default 20)")
        ->check(CLI::Range(int64_t{0}, int64_t{3600000}));
    app.add_option("--write-time", o.writeTime,
                   "Milliseconds of image writing after the last piece (default 2000)")
        ->check(CLI::Range(int64_t{0}, int64_t{3600000}));
    app.add_flag("--reboot", o.reboot,
                 "After writing the image close the connection instead of reporting 100");
    app.add_option("--reply-delay", o.replyDelay,
                   "Milliseconds the device takes for every request before its reply (default 0)")
        ->check(CLI::Range(int64_t{0}, int64_t{3600000}));
    app.add_option("--version-after-upgrade", o.versionAfterUpgrade,
                   "Software version once a software image is written: a.b.c.d, \"keep\" for an upgrade\n"
                   "that does not take, \"offline\" for a device that never comes back (default: the last\n"
                   "part one higher)");
    app.add_option("--max-sessions", o.maxSessions,
                   "Logged-in sessions per device before code 3 (default 16)")
        ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
    app.add_option("--fault-seed", o.faultSeed,
                   "Seed of the random faults (device i draws from (seed, i); default 0)")
        ->check(CLI::Range(int64_t{0}, int64_t{INT64_MAX}));
    app.add_option("--reset-rate", o.resetRate,
                   "Chance (0..1) per connection of a reset at a random reply")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--stall-rate", o.stallRate,
                   "Chance (0..1) per connection that the device stops answering at a random reply")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--corrupt-rate", o.corruptRate,
                   "Chance (0..1) per connection of a garbled frame header at a random reply")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--refuse-rate", o.refuseRate,
                   "Chance (0..1) per connection that its login is refused (2, 3 or 13)")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--split-rate", o.splitRate,
                   "Chance (0..1) per reply that it goes out in pieces of random sizes")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--slow-rate", o.slowRate,
                   "Chance (0..1) per reply that it goes out late (see --slow-max-ms)")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--slow-max-ms", o.slowMaxMs, "Longest delay of a late reply (default 50)")
        ->check(CLI::Range(int64_t{0}, int64_t{3600000}));
    app.add_option("--fault-span", o.faultSpan,
                   "Replies of a connection a random fault may fire at (default 102: greeting, "
                   "login, 100 upgrade pieces)")
        ->check(CLI::Range(int64_t{1}, int64_t{UINT32_MAX}));
    app.add_flag("--no-search", o.noSearch, "Do not answer the device search (ours and ONVIF)");
    app.add_flag(
        "--onvif", o.onvif,
        "Every device also answers the ONVIF discovery and serves the ONVIF device service\n"
        "at its HTTP port (\"onvif\" in the fleet file sets it per device)");
    app.add_option("--onvif-spread", o.onvifSpread,
                   "An ONVIF camera answers a probe after a random 0..this many ms (default 500)")
        ->check(CLI::Range(int64_t{0}, int64_t{10000}));
    app.add_option(
        "--search-interface", o.searchInterfaces,
        "Answer the search on this interface (repeatable; default lo and the interfaces of given "
        "listen addresses)");
    app.add_flag("--commands", o.commands, "Read control commands from standard input (see below)");
    app.add_flag("--quiet", o.quiet, "Print only the ready line");
    CLI11_PARSE(app, argc, argv);

    nlohmann::json file;
    std::string error;
    if (!o.fleet.empty() && !sim::ReadFleetFile(o.fleet, file, error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        return 2;
    }
    sim::FleetRequest request;
    request.file = o.fleet.empty() ? nullptr : &file;
    request.count = o.devices;
    request.overlay = [&o](size_t index, nlohmann::json& settings) { Overlay(o, index, settings); };
    std::vector<sim::DeviceConfig> devices;
    if (!sim::BuildFleet(request, devices, error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        return 2;
    }

    sim::SimulatorOptions options;
    options.answerSearch = !o.noSearch;
    options.searchInterfaces =
        o.searchInterfaces.empty() ? DefaultSearchInterfaces(devices) : o.searchInterfaces;
    options.storeDirectory = o.store;
    if (o.onvifSpread >= 0) {
        options.onvifAnswerSpreadMs = static_cast<uint32_t>(o.onvifSpread);
    }

    // Signals are taken through a descriptor; every thread started from
    // here on inherits the mask.
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&mask, s);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &mask, SFD_CLOEXEC);
    if (signals < 0) {
        std::perror("camsim: signalfd");
        return 1;
    }
    RaiseDescriptorLimit();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    sim::Simulator simulator(std::move(devices), options);
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        return 1;
    }
    if (!o.quiet) {
        for (size_t i = 0; i < simulator.DeviceCount(); ++i) {
            std::printf("device %zu %s %s:%u %s", i, simulator.Mac(i).c_str(),
                        simulator.Address(i).c_str(), simulator.DataPort(i),
                        simulator.Config(i).identity.devName.c_str());
            if (simulator.OnvifPort(i) != 0) {
                std::printf(" onvif %s http://%s:%u/onvif/device_service",
                            simulator.Config(i).onvif.endpoint.c_str(),
                            simulator.Address(i).c_str(), simulator.OnvifPort(i));
            }
            std::printf("\n");
        }
    }
    std::printf("ready %zu\n", simulator.DeviceCount());
    std::fflush(stdout);

    Serve(simulator, signals, o.commands);
    simulator.Stop();
    ::close(signals);
    if (!o.quiet) {
        std::printf("stopped\n");
    }
    return 0;
}
