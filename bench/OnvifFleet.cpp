// How fast the ONVIF search lists a large fleet of cameras in one round,
// and the memory it takes: N simulated ONVIF cameras (one camsim process,
// each camera on its own loopback address) answering the two typed probes
// after the usual random 0..500 ms.
//
// Two measures, R runs each:
//  - the search library in this process: from the first probe to the last
//    camera reported (time to list), and this process's resident memory
//    before and after;
//  - `camprep discover --source onvif --json` as a user runs it: wall time
//    (it collects for 2 s), peak resident memory, cameras listed.
//
// Runs in a private network namespace of its own (as root):
//   build/default/bench/onvif_fleet [cameras] [runs]   (default 1024 cameras, 3 runs)

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "CamsimChild.h"
#include "ChildRun.h"
#include "PrivateNetwork.h"
#include "onvif/OnvifSearch.h"

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

struct InProcess {
    double listMs = -1;  // first probe to the last camera found; -1 when not all came
    size_t found = 0;
    long rssBeforeKiB = 0;
    long rssAfterKiB = 0;
};

InProcess SearchOnce(size_t cameras) {
    InProcess r;
    std::mutex mutex;
    std::condition_variable all;
    std::set<std::string> endpoints;
    Clock::time_point last;
    onvif::OnvifSearchOptions options;
    options.interfaces = {"lo"};
    options.probeIntervalMs = 3600000;  // one round
    r.rssBeforeKiB = ResidentKiB();
    onvif::OnvifSearch search(
        [&](int kind, const onvif::OnvifDevice& d) {
            if (kind != onvif::kOnvifFound) {
                return;
            }
            std::lock_guard<std::mutex> lock(mutex);
            endpoints.insert(d.endpoint);
            last = Clock::now();
            all.notify_all();
        },
        options);
    const Clock::time_point start = Clock::now();
    if (!search.Start()) {
        return r;
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        all.wait_for(lock, std::chrono::seconds(10), [&] { return endpoints.size() >= cameras; });
        r.found = endpoints.size();
        if (r.found >= cameras) {
            r.listMs = std::chrono::duration<double, std::milli>(last - start).count();
        }
    }
    r.rssAfterKiB = ResidentKiB();
    search.Stop();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t cameras = argc > 1 ? static_cast<size_t>(std::atol(argv[1])) : 1024;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string why = bench::EnterPrivateNetwork();
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_fleet: %s (run it as root)\n", why.c_str());
        return 2;
    }
    bench::CamsimChild camsim;
    const std::string fleet = "/tmp/onvif-fleet-" + std::to_string(getpid()) + ".json";
    std::ofstream(fleet)
        << R"({"defaults": {"onvif": {"enabled": true}, "behaviour": {"answerSearch": false}}})";
    if (!camsim.Start({"--devices", std::to_string(cameras), "--fleet", fleet, "--quiet"})) {
        std::fprintf(stderr, "onvif_fleet: camsim did not start\n");
        return 1;
    }
    std::printf("%zu ONVIF cameras on loopback, %d runs\n", cameras, runs);
    double worstList = 0;
    bool allListed = true;
    long worstGrowth = 0;
    for (int run = 0; run < runs; ++run) {
        const InProcess r = SearchOnce(cameras);
        std::printf("search library: %zu found, last after %.0f ms, resident %ld -> %ld KiB\n",
                    r.found, r.listMs, r.rssBeforeKiB, r.rssAfterKiB);
        allListed = allListed && r.listMs >= 0;
        worstList = std::max(worstList, r.listMs);
        worstGrowth = std::max(worstGrowth, r.rssAfterKiB - r.rssBeforeKiB);
        std::this_thread::sleep_for(
            std::chrono::milliseconds(700));  // the cameras' last answers drain
    }
    double worstWall = 0;
    long worstRss = 0;
    size_t fewest = cameras;
    for (int run = 0; run < runs; ++run) {
        const bench::ChildRun c = bench::RunChild({CAMPREP_PATH, "discover", "--json", "--source",
                                                   "onvif", "--interface", "lo", "--timeout", "1"});
        const nlohmann::json list = nlohmann::json::parse(c.output, nullptr, false);
        const size_t listed = list.is_array() ? list.size() : 0;
        std::printf("camprep discover: %zu listed, %.2f s, %.2f s CPU, peak resident %ld KiB\n",
                    listed, c.wall, c.cpu, c.maxRssKiB);
        worstWall = std::max(worstWall, c.wall);
        worstRss = std::max(worstRss, c.maxRssKiB);
        fewest = std::min(fewest, listed);
    }
    camsim.Stop();
    std::remove(fleet.c_str());
    bench::PrintResult(
        "ONVIF search: " + std::to_string(cameras) + " cameras listed in one round",
        bench::Format("%.0f ms (worst of %d), +%ld KiB resident", worstList, runs, worstGrowth),
        "the cameras' own answer spread, 500 ms", "every camera within the 2 s collection",
        allListed && worstList < 2000);
    bench::PrintResult(
        "camprep discover --source onvif, " + std::to_string(cameras) + " cameras",
        bench::Format("%zu listed, %.2f s, peak %ld KiB", fewest, worstWall, worstRss),
        "2 s collection", "all listed", fewest == cameras);
    return 0;
}
