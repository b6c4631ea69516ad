// Message throughput of one link: a writer thread sends frames of a given
// size into a socket pair, the link reads them back with RecvMsg.

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "common/link/SWL_TCPLink.h"

namespace {

void BM_RecvMsg(benchmark::State& state) {
    const auto size = static_cast<uint32_t>(state.range(0));
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        state.SkipWithError("socketpair");
        return;
    }
    TcpLinkPtr receiver(CTcpLink::Create(fds[0]));
    TcpLinkPtr sender(CTcpLink::Create(fds[1]));
    const std::vector<uint8_t> payload(size, 0x5A);
    std::atomic<bool> running{true};
    std::thread writer([&] {
        while (running.load()) {
            if (sender->SendMsg(payload.data(), size, &running) != 0) {
                break;
            }
        }
    });
    for (auto _ : state) {
        TcpLinkMessage message;
        if (receiver->RecvMsg(message, true, 5000) != 0) {
            state.SkipWithError("RecvMsg");
            break;
        }
        benchmark::DoNotOptimize(message.data.get());
    }
    // The writer looks at the flag at least every 10 ms, even with the
    // socket full, so it ends without the receiver draining anything.
    running.store(false);
    writer.join();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_RecvMsg)->Arg(64)->Arg(4096)->Arg(64 * 1024)->Arg(1024 * 1024)->UseRealTime();

}  // namespace
