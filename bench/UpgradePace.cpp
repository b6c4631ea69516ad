// How close `camprep upgrade` comes to the devices' own pace: 32 simulated
// devices (camsim, another process) upgraded at once with an 8 MiB package,
// against the time the devices themselves need:
//   pace = 100 x (piece delay + one piece's round trip) + write time,
// where 100 x round trip is measured as one device's whole upgrade with no
// piece delay and no write time (connection and login included). Also
// reports camprep's CPU time per device.
//
//   upgrade_pace [devices] [package MiB] [write ms] [piece delay ms...]
//   (default 32 devices, 8 MiB, 2000 ms, piece delays 5 and 20)


#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "CamsimChild.h"
#include "ChildRun.h"

namespace {

struct CamprepRun {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double slowestDevice = 0;
    double camsimCpu = 0;  // the simulated devices' own CPU during the run
};

CamprepRun RunCamprep(const std::string& package, const bench::CamsimChild& camsim) {
    std::vector<std::string> args = {CAMPREP_PATH, "upgrade", "--json", "--package", package};
    for (const auto& [address, port] : camsim.Endpoints()) {
        args.push_back("--device");
        args.push_back(address + ":" + std::to_string(port));
    }
    const bench::ChildRun child = bench::RunChild(args, 0);
    CamprepRun run;
    run.wall = child.wall;
    run.cpu = child.cpu;
    const nlohmann::json results = nlohmann::json::parse(child.output, nullptr, false);
    run.ok = child.exitStatus == 0 && results.is_array() && results.size() == camsim.Endpoints().size();
    if (results.is_array()) {
        for (const auto& r : results) run.slowestDevice = std::max(run.slowestDevice, r.value("seconds", 0.0));
    }
    return run;
}

CamprepRun Measure(const std::string& package, int devices, int pieceDelay, int writeMs) {
    bench::CamsimChild camsim;
    if (!camsim.Start({"--devices", std::to_string(devices), "--no-search", "--piece-delay",
                       std::to_string(pieceDelay), "--write-time", std::to_string(writeMs), "--port", "0"})) {
        std::fprintf(stderr, "camsim did not start\n");
        return {};
    }
    const double before = bench::ProcessCpuSeconds(camsim.Pid());
    CamprepRun run = RunCamprep(package, camsim);
    run.camsimCpu = bench::ProcessCpuSeconds(camsim.Pid()) - before;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const int devices = argc > 1 ? std::atoi(argv[1]) : 32;
    const int mebibytes = argc > 2 ? std::atoi(argv[2]) : 8;
    const int writeMs = argc > 3 ? std::atoi(argv[3]) : 2000;
    std::vector<int> delays;
    for (int i = 4; i < argc; ++i) delays.push_back(std::atoi(argv[i]));
    if (delays.empty()) delays = {5, 20};
    if (devices < 1 || devices > 32 || mebibytes < 1) {
        std::fprintf(stderr, "usage: %s [devices 1..32] [package MiB] [write ms] [piece delay ms...]\n", argv[0]);
        return 2;
    }

    // A software package for the simulated devices (version 4.1.2.3: not compressed).
    const std::string package = "/tmp/upgrade-pace.pkg";
    {
        std::vector<char> bytes(static_cast<size_t>(mebibytes) * 1024 * 1024, 0x5A);
        const char trailer[64] = {'h', 'e', 'a', 'd'};
        std::ofstream out(package, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.write(trailer, sizeof trailer);
    }

    // One device alone, no delay, no writing: its 100 round trips and the login.
    const CamprepRun alone = Measure(package, 1, 0, 0);
    if (!alone.ok) {
        std::fprintf(stderr, "the single-device run failed\n");
        return 1;
    }
    // All devices at once, no delay, no writing: 100 round trips of the
    // shared link (here loopback and the simulator on the same two cores).
    const CamprepRun shared = Measure(package, devices, 0, 0);
    std::printf("%d MiB package, no piece delay, no write time: one device alone %.3f s, %d at once %.3f s "
                "(100 round trips and the login)\n",
                mebibytes, alone.slowestDevice, devices, shared.slowestDevice);
    std::printf("pace: 100 x (piece delay + one device's round trip) + write time; ratio = wall / pace;\n"
                "shared: the same with the round trip of %d devices at once\n",
                devices);
    std::printf("%8s %8s %8s %8s %9s %7s %7s %13s %10s %11s\n", "delay", "write", "pace s", "wall s", "slowest s",
                "ratio", "shared", "CPU s/device", "CPU %core", "camsim CPU");
    bool all = true;
    for (int delay : delays) {
        const CamprepRun run = Measure(package, devices, delay, writeMs);
        all = all && run.ok;
        const double pace = 100.0 * delay / 1000.0 + alone.slowestDevice + writeMs / 1000.0;
        const double sharedPace = 100.0 * delay / 1000.0 + shared.slowestDevice + writeMs / 1000.0;
        std::printf("%5d ms %5d ms %8.3f %8.3f %9.3f %7.3f %7.3f %13.4f %10.2f %9.3f s%s\n", delay, writeMs,
                    pace, run.wall, run.slowestDevice, run.wall / pace, run.wall / sharedPace, run.cpu / devices,
                    100.0 * run.cpu / run.wall, run.camsimCpu, run.ok ? "" : "  (FAILED)");
        bench::PrintResult(
            bench::Format("%d-device upgrade, %d MiB package, piece delay %d ms, write time %.0f s", devices,
                          mebibytes, delay, writeMs / 1000.0),
            bench::Format("%.2f s wall (%.3fx; %.3fx of the pace with the shared round trip)", run.wall,
                          run.wall / pace, run.wall / sharedPace),
            bench::Format("the devices' own pace: %.2f s", pace), "<= 1.1x", run.ok && run.wall <= 1.1 * pace);
        bench::PrintResult(bench::Format("CPU of camprep upgrade per device (piece delay %d ms)", delay),
                           bench::Format("%.4f s per device; %.2f %% of a core for %d devices", run.cpu / devices,
                                         100.0 * run.cpu / run.wall, devices),
                           "-", "report; under 5% of a core for 32 devices",
                           run.ok && 100.0 * run.cpu / run.wall < 5.0);
    }
    std::remove(package.c_str());
    return all ? 0 : 1;
}
