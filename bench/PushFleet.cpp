// How `camprep push` scales: one package pushed to N simulated devices at
// once (camsim and camprep as separate processes), against one device
// pushed alone with the same settings. Reports the wall time and its ratio
// to the single device's, and camprep's peak resident memory, threads and
// open descriptors, at each size, so their growth per device shows.
//
//   push_fleet [devices...] [-- camsim options...]
//   (default 64 128 256; e.g. `push_fleet 256 -- --reply-delay 200`)

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CamsimChild.h"
#include "ChildRun.h"

namespace {

struct PushRun {
    bool ok = false;
    bench::ChildRun child;
    int devices = 0;
};

PushRun Push(int devices, const std::vector<std::string>& simOptions) {
    PushRun run;
    run.devices = devices;
    bench::CamsimChild camsim;
    std::vector<std::string> options = {"--devices", std::to_string(devices), "--no-search", "--port", "0"};
    options.insert(options.end(), simOptions.begin(), simOptions.end());
    if (!camsim.Start(options)) {
        std::fprintf(stderr, "camsim did not start\n");
        return run;
    }
    std::vector<std::string> args = {CAMPREP_PATH, "push", "--json", "--fac", CAMPREP_SOURCE_DIR "/tests/data/fac/full.fac"};
    for (const auto& [address, port] : camsim.Endpoints()) {
        args.push_back("--device");
        args.push_back(address + ":" + std::to_string(port));
    }
    run.child = bench::RunChild(args);
    const nlohmann::json results = nlohmann::json::parse(run.child.output, nullptr, false);
    run.ok = run.child.exitStatus == 0 && results.is_array() && static_cast<int>(results.size()) == devices;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    std::vector<std::string> simOptions;
    bool sim = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            sim = true;
        } else if (sim) {
            simOptions.push_back(argv[i]);
        } else {
            sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (sizes.empty()) sizes = {64, 128, 256};
    if (std::any_of(sizes.begin(), sizes.end(), [](int n) { return n < 1; })) {
        std::fprintf(stderr, "usage: %s [devices...] [-- camsim options...]\n", argv[0]);
        return 2;
    }

    // One device alone, three times: its own time is the slowest of them.
    double alone = 0;
    for (int i = 0; i < 3; ++i) {
        const PushRun one = Push(1, simOptions);
        if (!one.ok) {
            std::fprintf(stderr, "the single-device push failed\n");
            return 1;
        }
        alone = std::max(alone, one.child.wall);
    }
    std::printf("one device alone: %.3f s (the slowest of 3; camprep's whole run, start to exit)\n", alone);
    std::printf("%8s %8s %7s %9s %8s %12s %12s %12s\n", "devices", "wall s", "ratio", "CPU s", "RSS MiB", "threads",
                "descriptors", "RSS KiB/dev");
    std::vector<PushRun> runs;
    bool all = true;
    for (int n : sizes) {
        PushRun run = Push(n, simOptions);
        all = all && run.ok;
        const double perDevice =
            runs.empty() ? 0.0
                         : static_cast<double>(run.child.maxRssKiB - runs.back().child.maxRssKiB) /
                               (n - runs.back().devices);
        std::printf("%8d %8.3f %7.2f %9.3f %8.1f %12d %12d %12.1f%s\n", n, run.child.wall, run.child.wall / alone,
                    run.child.cpu, run.child.maxRssKiB / 1024.0, run.child.peakThreads,
                    run.child.peakDescriptors, perDevice, run.ok ? "" : "  (FAILED)");
        runs.push_back(std::move(run));
    }
    const PushRun& largest = runs.back();
    bench::PrintResult(
        bench::Format("Push of one package to %d simulated devices at once", largest.devices),
        bench::Format("%.3f s wall (%.2fx); peak RSS %.1f MiB, %d threads, %d descriptors", largest.child.wall,
                      largest.child.wall / alone, largest.child.maxRssKiB / 1024.0, largest.child.peakThreads,
                      largest.child.peakDescriptors),
        bench::Format("one device alone: %.3f s", alone), "wall <= 1.5x; resources linear in devices",
        all && largest.child.wall <= 1.5 * alone);
    return all ? 0 : 1;
}
