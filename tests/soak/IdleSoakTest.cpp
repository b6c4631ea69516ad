// Logged-in sessions held open and idle, as the programs hold them while an
// operator looks at the table: what they cost in CPU time and memory
// (printed, not judged: that depends on the machine), that they all stay
// logged in, that nothing grows while they idle, and that every thread and
// descriptor goes when they are released.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "SoakSupport.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/ReachDevice.h"
#include "common/session/SessionResults.h"
#include "sim/Simulator.h"
#include "tests/integration/sim/SimTestSupport.h"

namespace {

using SessionPtr = std::unique_ptr<CNetDVSDevice, NetDeviceReleaser>;

constexpr uint32_t kSessionsPerDevice = 64;

int IgnoreEvents(void*, CNetDevice*, int, int, const void*, uint32_t) {
    return 0;
}

// Reaches the device and logs in the way the workers do.
SessionPtr HoldSession(const sim::Simulator& simulator, size_t device, const SessionOptions& options) {
    ConnectProcEnv env;
    env.hostAddresses = [] { return std::vector<std::string>{}; };
    uint8_t greeting[DeviceGreeting::kSize] = {};
    TcpLinkPtr link = ReachDevice(simulator.Address(device).c_str(), simulator.DataPort(device), 5000, 5000, env,
                                  nullptr, greeting);
    if (!link) return nullptr;
    int error = 0;
    SessionPtr session(CreateNetDevice(link, greeting, &IgnoreEvents, nullptr, error, options));
    NET_DEVICE_INFO info;
    if (!session || session->Login("admin", "739164", info) != session::kOk) return nullptr;
    return session;
}

TEST(IdleSoak, HeldSessionsCostLittleAndLeaveNothingBehind) {
    soak::RaiseDescriptorLimit();
    const soak::SoakSize size = soak::SizeFromEnvironment();
    const size_t configSessions = size.idleConfigSessions;
    const size_t upgradeSessions = size.devices;
    const size_t total = configSessions + upgradeSessions;
    const size_t devices = (total + kSessionsPerDevice - 1) / kSessionsPerDevice;
    auto simulator = simtest::StartSimulator(simtest::QuickFleet(devices, [](sim::DeviceConfig& d) {
        d.behaviour.maxSessions = kSessionsPerDevice;
    }));
    const soak::ProcessCounts start = soak::CountNow();

    SessionOptions configOptions;  // as Cfgpush's worker makes them
    configOptions.logLoginLine = true;
    SessionOptions upgradeOptions;  // as Fwbatch's worker makes them
    std::vector<SessionPtr> sessions;
    sessions.reserve(total);
    for (size_t i = 0; i < total; ++i) {
        SessionPtr session = HoldSession(*simulator, i % devices, i < configSessions ? configOptions : upgradeOptions);
        ASSERT_TRUE(session) << "session " << i << " of " << total << " was not logged in";
        sessions.push_back(std::move(session));
    }
    uint32_t open = 0;
    for (size_t d = 0; d < devices; ++d) open += simulator->Records(d).openSessions;
    EXPECT_EQ(open, total);

    const soak::ProcessCounts held = soak::CountNow();
    const double cpuBefore = soak::CpuSeconds();
    const long rssBefore = soak::ResidentKiB();
    const uint64_t wakeupsBefore = simulator->LoopWakeups();
    std::this_thread::sleep_for(std::chrono::seconds(size.idleSeconds));
    const double cpu = soak::CpuSeconds() - cpuBefore;
    const long rssGrowth = soak::ResidentKiB() - rssBefore;
    const uint64_t wakeups = simulator->LoopWakeups() - wakeupsBefore;
    const soak::ProcessCounts idled = soak::CountNow();

    std::printf("idle soak: %zu configuration + %zu upgrade sessions on %zu devices, idle %u s\n", configSessions,
                upgradeSessions, devices, size.idleSeconds);
    std::printf("  held: %d threads, %d descriptors (from %d and %d)\n", held.threads, held.descriptors,
                start.threads, start.descriptors);
    std::printf("  while idle: CPU %.2f s (%.1f%% of one core), RSS %+ld KiB (now %ld KiB), %llu simulator wake-ups\n",
                cpu, 100.0 * cpu / size.idleSeconds, rssGrowth, soak::ResidentKiB(),
                static_cast<unsigned long long>(wakeups));

    // Idle means idle: nothing opened, nothing started, nobody logged out.
    EXPECT_EQ(idled.descriptors, held.descriptors);
    EXPECT_EQ(idled.threads, held.threads);
    size_t alive = 0;
    for (const SessionPtr& s : sessions) alive += s->GetStatus() == 0 ? 1 : 0;
    EXPECT_EQ(alive, total);
    // Generous enough for any machine: idle sessions must not keep the
    // process busy (a spinning thread would use a whole core).
    EXPECT_LT(cpu, 0.9 * size.idleSeconds * std::thread::hardware_concurrency());

    sessions.clear();
    EXPECT_TRUE(simulator->WaitForRecords(0, [](const sim::DeviceRecords& r) { return r.openSessions == 0; }));
    const soak::ProcessCounts end = soak::WaitForCountsBackTo(start);
    EXPECT_LE(end.threads, start.threads) << "threads left after the sessions were released";
    EXPECT_LE(end.descriptors, start.descriptors) << "descriptors left after the sessions were released";
    simulator->Stop();
}

}  // namespace
