// What idle device links cost: opens N links over loopback TCP, starts their
// keep-alive and receive threads, lets them sit for T seconds with nothing
// arriving, and reports the process's CPU time per link.
//
//   link_idle_cost [links] [seconds]      (default 32 links, 10 s)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/link/SWL_Public.h"
#include "common/link/SWL_TCPLink.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Ignore(void*, uint8_t*, int) {}

}  // namespace

int main(int argc, char** argv) {
    const int links = argc > 1 ? std::atoi(argv[1]) : 32;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    if (links <= 0 || seconds <= 0) {
        std::fprintf(stderr, "usage: %s [links] [seconds]\n", argv[0]);
        return 2;
    }
    SWL_Init();

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, links) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len) != 0) {
        std::perror("listener");
        return 1;
    }

    std::vector<TcpLinkPtr> open;
    std::vector<int> peers;  // the "devices": they read nothing and send nothing
    for (int i = 0; i < links; ++i) {
        int sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
        const SWL_ADDR to{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
        if (SWL_Connect(sock, to, 3000) != 0) {
            std::perror("connect");
            return 1;
        }
        peers.push_back(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
        TcpLinkPtr link(CTcpLink::Create(sock));
        if (!link || link->StartLinkThreads(&Ignore, nullptr, false) != 0 ||
            link->StartRecvThread() != 0) {
            std::fprintf(stderr, "could not start link %d\n", i);
            return 1;
        }
        open.push_back(std::move(link));
    }

    const double cpuBefore = CpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();

    std::printf(
        "%d idle links for %.2f s: %.1f ms CPU in all, %.4f %% of one core in all, "
        "%.5f %% of one core per link\n",
        links, wall, cpu * 1000.0, 100.0 * cpu / wall, 100.0 * cpu / wall / links);

    open.clear();  // Close every link
    for (const int peer : peers) {
        ::close(peer);
    }
    ::close(listener);
    SWL_Quit();
    return 0;
}
