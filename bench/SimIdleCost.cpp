// What an idle fleet costs camsim: starts camsim with N devices, opens and
// logs in one program session on each (with the program's own session code,
// so the programs' keep-alive frames arrive as they would), lets them sit
// for T seconds and reports camsim's CPU time over that span.
//
//   sim_idle_cost [sessions] [seconds] [extra camsim options...]
//   (default 256 sessions, 10 s; e.g. `sim_idle_cost 256 10 --keep-alive 1000`)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CamsimChild.h"
#include "ChildRun.h"
#include "common/link/SWL_Public.h"
#include "common/link/SWL_TCPLink.h"
#include "common/session/CNetDVSDevice.h"

namespace {

using SessionPtr = std::unique_ptr<CNetDVSDevice, NetDeviceReleaser>;

SessionPtr Open(const std::string& address, uint16_t port) {
    int sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    SWL_ADDR a;
    if (sock < 0 || !SWL_MakeAddr(address.c_str(), port, a) || SWL_Connect(sock, a, 5000) != 0) {
        if (sock >= 0)
            SWL_CloseSocket(sock);
        return nullptr;
    }
    TcpLinkPtr link(CTcpLink::Create(sock));
    uint8_t greeting[64];
    if (!link || link->RecvExact(greeting, sizeof greeting, 5000) != 0)
        return nullptr;
    int error = 0;
    SessionPtr session(CreateNetDevice(link, greeting, nullptr, nullptr, error));
    NET_DEVICE_INFO info;
    if (!session || session->Login("admin", "739164", info) != 0)
        return nullptr;
    return session;
}

}  // namespace

int main(int argc, char** argv) {
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 256;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    if (sessions <= 0 || seconds <= 0) {
        std::fprintf(stderr, "usage: %s [sessions] [seconds] [extra camsim options...]\n", argv[0]);
        return 2;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    SWL_Init();

    std::vector<std::string> options = {"--devices", std::to_string(sessions), "--port", "0", "--no-search"};
    for (int i = 3; i < argc; ++i)
        options.emplace_back(argv[i]);
    bench::CamsimChild camsim;
    if (!camsim.Start(options) || camsim.Endpoints().size() != static_cast<size_t>(sessions)) {
        std::fprintf(stderr, "camsim did not start (%zu devices seen)\n", camsim.Endpoints().size());
        return 1;
    }
    const pid_t pid = camsim.Pid();

    std::vector<SessionPtr> open;
    for (const auto& [address, port] : camsim.Endpoints()) {
        SessionPtr s = Open(address, port);
        if (!s) {
            std::fprintf(stderr, "could not log in to %s:%u\n", address.c_str(), port);
            break;
        }
        open.push_back(std::move(s));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let the logins settle

    const double simBefore = bench::ProcessCpuSeconds(pid);
    const double selfBefore = bench::SelfCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double simCpu = bench::ProcessCpuSeconds(pid) - simBefore;
    const double selfCpu = bench::SelfCpuSeconds() - selfBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();

    std::printf("sessions open: %zu of %d, idle for %.1f s\n", open.size(), sessions, wall);
    std::printf("camsim CPU: %.3f s = %.2f %% of one core (%.1f us per session per second)\n",
                simCpu, 100.0 * simCpu / wall,
                1e6 * simCpu / wall / static_cast<double>(open.size()));
    std::printf(
        "program side (this process, %zu sessions with their link threads): %.2f %% of one core\n",
        open.size(), 100.0 * selfCpu / wall);

    const bool allOpen = open.size() == static_cast<size_t>(sessions);
    const double per100 = 100.0 * selfCpu / wall / (static_cast<double>(open.size()) / 100.0);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    bench::PrintResult(bench::Format("%d idle logged-in sessions in one process", sessions),
                       bench::Format("%.2f %% of a core (%.3f %% per 100 sessions); peak RSS %.1f MiB",
                                     100.0 * selfCpu / wall, per100, self.ru_maxrss / 1024.0),
                       "-", "< 1% of a core per 100 sessions", allOpen && per100 < 1.0);
    open.clear();
    return allOpen && camsim.Stop() ? 0 : 1;
}
