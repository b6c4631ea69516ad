// What an idle fleet costs camsim: starts camsim with N devices, opens and
// logs in one program session on each (with the program's own session code,
// so the programs' keep-alive frames arrive as they would), lets them sit
// for T seconds and reports camsim's CPU time over that span.
//
//   sim_idle_cost [sessions] [seconds] [extra camsim options...]
//   (default 256 sessions, 10 s; e.g. `sim_idle_cost 256 10 --keep-alive 1000`)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/link/SWL_Public.h"
#include "common/link/SWL_TCPLink.h"
#include "common/session/CNetDVSDevice.h"

namespace {

using SessionPtr = std::unique_ptr<CNetDVSDevice, NetDeviceReleaser>;

// utime + stime of a process, in seconds.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');  // the command name may hold spaces
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double SelfCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

SessionPtr Open(const std::string& address, uint16_t port) {
    int sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (sock < 0 || SWL_Connect(sock, reinterpret_cast<sockaddr*>(&a), sizeof a, 5000) != 0) {
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

    std::vector<std::string> args = {CAMSIM_PATH, "--devices", std::to_string(sessions),
                                     "--port",    "0",         "--no-search"};
    for (int i = 3; i < argc; ++i)
        args.emplace_back(argv[i]);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return 1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argvChild;
        for (auto& a : args)
            argvChild.push_back(a.data());
        argvChild.push_back(nullptr);
        ::execv(argvChild[0], argvChild.data());
        _exit(127);
    }
    ::close(out[1]);

    // "device INDEX MAC ADDRESS:PORT NAME" lines, then "ready N".
    std::vector<std::pair<std::string, uint16_t>> endpoints;
    std::string pending;
    bool ready = false;
    while (!ready) {
        pollfd p{out[0], POLLIN, 0};
        char chunk[4096];
        if (::poll(&p, 1, 20000) <= 0)
            break;
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        pending.append(chunk, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            char address[32];
            unsigned port = 0;
            if (std::sscanf(line.c_str(), "device %*u %*s %31[^:]:%u", address, &port) == 2) {
                endpoints.emplace_back(address, static_cast<uint16_t>(port));
            } else if (line.rfind("ready", 0) == 0) {
                ready = true;
            }
        }
    }
    if (!ready || endpoints.size() != static_cast<size_t>(sessions)) {
        std::fprintf(stderr, "camsim did not start (%zu devices seen)\n", endpoints.size());
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return 1;
    }

    std::vector<SessionPtr> open;
    for (const auto& [address, port] : endpoints) {
        SessionPtr s = Open(address, port);
        if (!s) {
            std::fprintf(stderr, "could not log in to %s:%u\n", address.c_str(), port);
            break;
        }
        open.push_back(std::move(s));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let the logins settle

    const double simBefore = ProcessCpuSeconds(pid);
    const double selfBefore = SelfCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double simCpu = ProcessCpuSeconds(pid) - simBefore;
    const double selfCpu = SelfCpuSeconds() - selfBefore;
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
    open.clear();
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    return allOpen && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
