// Cfgpush's push worker against a fleet with random faults, seed after
// seed: one result per device, the one its injected faults imply, and the
// package's payload, exactly, on every device reported successful.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SoakSupport.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/PushJob.h"
#include "cfgpush/engine/PushResult.h"
#include "cfgpush/engine/PushWorker.h"
#include "cfgpush/engine/SendData.h"
#include "sim/Simulator.h"
#include "tests/integration/sim/SimTestSupport.h"

namespace {

using namespace cfgpush;

const std::string kFull = std::string(CAMPREP_TEST_DATA_DIR) + "/fac/full.fac";
// Replies a push connection has: the greeting, the login (or the version-3
// command) and the import.
constexpr uint32_t kPushSpan = 3;
constexpr size_t kVersion3Every = 8;  // every eighth device is a version-3 one

struct Expected {
    int code = 0;
    uint64_t connections = 1;
    std::string why;
};

// What the worker makes of a connection's ending fault once it has the
// greeting (PushWorker): a garbled greeting gives no session; anything lost
// in the login or the import is a failure; the version-3 command's reply
// lost is "Disconnected!".
int CodeOfSessionFault(const sim::InjectedFault* fault, bool version3) {
    if (fault == nullptr) {
        return kPushSuccess;
    }
    switch (fault->what) {
        case sim::ExchangeKind::Greeting:  // garbled, read whole
            return version3 ? kPushVersion3Failed : kPushVersion4Failed;
        case sim::ExchangeKind::Login:
        case sim::ExchangeKind::Http:
            return kPushVersion4Failed;
        case sim::ExchangeKind::ConfigV3:
            return kPushDisconnected;
        default:
            return -100;
    }
}

bool GreetingLost(const sim::InjectedFault* fault) {
    return fault != nullptr && fault->what == sim::ExchangeKind::Greeting &&
           (fault->kind == sim::EndingFault::Reset || fault->kind == sim::EndingFault::Stall);
}

// The worker tries the second address, then the first (both the device's
// here): a greeting lost on the first connection makes a second one.
Expected ExpectedPush(const sim::DeviceRecords& records, bool version3) {
    Expected e;
    const sim::InjectedFault* first = soak::FaultOn(records, 1);
    if (first != nullptr) e.why = soak::Describe(*first);
    if (!GreetingLost(first)) {
        e.code = CodeOfSessionFault(first, version3);
        return e;
    }
    e.connections = 2;
    const sim::InjectedFault* second = soak::FaultOn(records, 2);
    if (second != nullptr) e.why += "; " + soak::Describe(*second);
    e.code = GreetingLost(second) ? kPushDisconnected : CodeOfSessionFault(second, version3);
    return e;
}

struct Package {
    FacPackage package;
    FactoryItemLists lists;
    bool Load() {
        if (package.Load(kFull) != FacLoadResult::kLoaded) return false;
        const auto types = package.ProductTypesInBoxOrder();
        return !types.empty() && BuildItemLists(package, types.front().entryNumber, lists);
    }
};

class PushSoak : public ::testing::Test {
protected:
    void SetUp() override {
        soak::RaiseDescriptorLimit();
        ASSERT_TRUE(pkg.Load());
    }
    void RunSeed(uint64_t seed, soak::Tally& tally);

    soak::SoakSize size = soak::SizeFromEnvironment();
    Package pkg;
};

void PushSoak::RunSeed(uint64_t seed, soak::Tally& tally) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const soak::ProcessCounts start = soak::CountNow();
    const size_t n = size_t{size.devices} * 8;
    std::vector<sim::DeviceConfig> fleet = simtest::QuickFleet(n, [&](sim::DeviceConfig& d) {
        d.faults.random = soak::SoakFaults(seed, kPushSpan);
    });
    for (size_t i = 0; i < n; ++i) {
        if (i % kVersion3Every == 0) {
            fleet[i].identity.softwareVer = "3.4.2.1";
        } else if (i % 2 == 1) {  // half the version-4 devices encrypt their HTTP payloads
            fleet[i].greeting.encrypted = true;
            fleet[i].greeting.sessionNumber = static_cast<uint32_t>(1000 + i);
        }
    }
    auto simulator = simtest::StartSimulator(std::move(fleet));

    PushOptions options;
    options.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };  // no adapter attempts
    options.timings.secondAddressGreetingMs = size.stallMs;
    options.timings.firstAddressGreetingMs = size.stallMs;
    options.timings.configReplyWaitMs = size.stallMs;
    options.timings.httpReadWaitMs = size.stallMs;
    options.timings.loginReplyWaitMs = size.stallMs;

    std::vector<std::vector<uint8_t>> payloads(n);
    std::vector<bool> version3(n);
    std::mutex mutex;
    std::condition_variable arrived;
    std::map<int, std::vector<int>> results;
    size_t reports = 0;
    const auto began = std::chrono::steady_clock::now();
    {
        PushWorkerGroup workers;
        for (size_t i = 0; i < n; ++i) {
            PushTarget t;
            t.firstAddress = simulator->Address(i);
            t.secondAddress = simulator->Address(i);
            t.dataPort = simulator->DataPort(i);
            t.mac = simulator->Mac(i);
            t.softwareVersion = simulator->Config(i).identity.softwareVer;
            _file_cfg_info job;
            ASSERT_TRUE(MakePushJob(static_cast<int32_t>(i), t, "admin", "739164", pkg.lists, pkg.package, job));
            payloads[i] = job.payload;
            version3[i] = job.version3;
            workers.Start(std::move(job),
                          [&](int row, int code) {
                              std::lock_guard<std::mutex> lock(mutex);
                              results[row].push_back(code);
                              ++reports;
                              arrived.notify_all();
                          },
                          options);
        }
        std::unique_lock<std::mutex> lock(mutex);
        const bool all = arrived.wait_for(lock, std::chrono::minutes(10), [&] { return reports >= n; });
        lock.unlock();
        if (!all) {
            ADD_FAILURE() << "only " << reports << " of " << n << " devices reported; cancelling";
            workers.CancelAll();
        }
        workers.JoinAll();
    }
    tally.longestSeconds = std::max(
        tally.longestSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());

    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE("device " + std::to_string(i));
        const sim::DeviceRecords records = simulator->Records(i);
        const Expected expected = ExpectedPush(records, version3[i]);
        const auto got = results.find(static_cast<int>(i));
        ASSERT_NE(got, results.end()) << "no result";
        ASSERT_EQ(got->second.size(), 1u) << "more than one result";
        const int code = got->second.front();
        EXPECT_EQ(code, expected.code) << expected.why;
        EXPECT_EQ(records.connections, expected.connections) << expected.why;
        if (code == kPushSuccess) {
            ASSERT_EQ(records.configs.size(), 1u) << expected.why;
            const sim::ConfigEntry& config = records.configs.front();
            EXPECT_EQ(config.route, version3[i] ? sim::ConfigRoute::Command0D01 : sim::ConfigRoute::ImportFacConf);
            EXPECT_TRUE(sim::SamePayload(payloads[i], config.payload, config.encrypted)) << expected.why;
        }
        tally.Count(code, records, false);
    }
    simulator->Stop();
    simulator.reset();
    soak::ExpectCountsBack(start, "the push");
}

TEST_F(PushSoak, EveryDeviceEndsWithTheResultItsFaultsImply) {
    soak::Tally tally;
    const auto began = std::chrono::steady_clock::now();
    for (uint64_t seed = size.firstSeed; seed < size.firstSeed + size.seeds; ++seed) {
        RunSeed(seed, tally);
        if (HasFatalFailure()) return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    tally.Print("push", size.seeds, size.devices * 8, seconds);
}

}  // namespace
