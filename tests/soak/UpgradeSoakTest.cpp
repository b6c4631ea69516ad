// Fwbatch's upgrade batch against a fleet whose devices reset, stall, garble
// headers, refuse logins and answer late or in pieces, seed after seed.
// Every device must end with exactly one result, the one its injected
// faults imply; every device reported upgraded must hold the payload; and
// the batch must leave no thread and no descriptor behind.
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
#include "fwbatch/engine/UpgradeBatch.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "sim/Simulator.h"
#include "tests/integration/fwbatch/FwbatchSimSupport.h"
#include "tests/integration/sim/SimTestSupport.h"

namespace {

using namespace fwbatch;

const char* const kPackage = "sw_250.pkg";
constexpr uint32_t kLastPiece = 100;
// The clock of the upgrade sessions runs this much faster than the wall
// clock, so the image-writing window (140 s on the session's clock) of a
// device that went silent after 98 percent passes in a few seconds.
constexpr uint32_t kClockFactor = 40;

struct Expected {
    int code = -1;
    int attempts = 0;
    std::string why;
};

int CodeOfRefusal(uint32_t refusal) {
    switch (refusal) {
        case 2:
            return kUpgradeWrongCredentials;
        case 3:
            return kUpgradeTooManyConnections;
        default:
            return kUpgradeConnectionFailed;
    }
}

// What the worker makes of each connection's ending fault (UpgradeWorker):
// the greeting or the login lost is final (no retry); a transfer broken
// before the device reported 98 percent is tried again, up to five
// attempts; the link lost after 98 percent is the device restarting into
// its new image, and a device silent after 98 percent is waited out and
// then taken as done.
Expected ExpectedUpgrade(const sim::DeviceRecords& records) {
    for (int attempt = 1; attempt <= kUpgradeAttempts; ++attempt) {
        const sim::InjectedFault* fault = soak::FaultOn(records, static_cast<uint64_t>(attempt));
        if (fault == nullptr) {
            return {kUpgradeSuccess, attempt, "a clean attempt"};
        }
        const std::string why = soak::Describe(*fault);
        switch (fault->what) {
            case sim::ExchangeKind::Greeting:
                return {kUpgradeConnectionFailed, attempt, why};
            case sim::ExchangeKind::Login:
                return {fault->kind == sim::EndingFault::RefuseLogin ? CodeOfRefusal(fault->refusal)
                                                                     : kUpgradeConnectionFailed,
                        attempt, why};
            case sim::ExchangeKind::UpgradePiece:
                if (fault->sequence >= kLastPiece) {
                    return {kUpgradeSuccess, attempt, why};
                }
                if (attempt == kUpgradeAttempts) {
                    return {kUpgradeFailed, attempt, why};
                }
                break;  // tried again
            default:
                return {-100, attempt, "a fault the upgrade never meets: " + why};
        }
    }
    return {-100, 0, "unreachable"};
}

class UpgradeSoak : public ::testing::Test {
protected:
    void RunSeed(uint64_t seed, soak::Tally& tally);

    soak::SoakSize size = soak::SizeFromEnvironment();
};

void UpgradeSoak::RunSeed(uint64_t seed, soak::Tally& tally) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const soak::ProcessCounts start = soak::CountNow();
    const size_t n = size.devices;
    auto simulator = simtest::StartSimulator(simtest::QuickFleet(n, [&](sim::DeviceConfig& d) {
        d.identity.softwareVer = "5.0.0.0";
        d.behaviour.writeImageMs = 20;
        d.faults.random = soak::SoakFaults(seed, 2 + kLastPiece);
    }));

    soak::FastClock clock(kClockFactor);
    UpgradeOptions options = fwtest::QuickUpgradeOptions();
    options.timings.greetingMs = size.stallMs;
    options.timings.pieceReplyLimitMs = size.stallMs * kClockFactor;
    options.session.loginReplyWaitMs = size.stallMs;
    options.session.clock = &clock;

    auto settings = std::make_shared<UpgradeSettings>();
    settings->package = fwtest::ReadPackage(kPackage);
    settings->type = kUpgradeSoftware;
    settings->userName = "admin";
    settings->password = "739164";
    const std::string payloadSha = fwtest::ExpectedPayloadSha256(kPackage);

    std::mutex mutex;
    std::condition_variable arrived;
    std::map<int, std::vector<UpgradeReport>> results;
    size_t reports = 0;
    const auto began = std::chrono::steady_clock::now();
    {
        UpgradeBatch batch(settings, {}, [&](int index, const UpgradeReport& report) {
            std::lock_guard<std::mutex> lock(mutex);
            results[index].push_back(report);
            ++reports;
            arrived.notify_all();
        }, options);
        for (size_t i = 0; i < n; ++i) {
            SEARCH_DEVICE_INFO device{};
            std::snprintf(device.ip[1], sizeof device.ip[1], "%s", simulator->Address(i).c_str());
            std::snprintf(device.mac, sizeof device.mac, "%s", simulator->Mac(i).c_str());
            device.dataPort = simulator->DataPort(i);
            device.httpPort = 80;
            batch.Add(MakeUpdateRecord(static_cast<int32_t>(i), device));
        }
        batch.Start();
        // Every worker ends within its own limits: five attempts, each
        // bounded by the stall limit and the image-writing window.
        std::unique_lock<std::mutex> lock(mutex);
        const bool all = arrived.wait_for(lock, std::chrono::minutes(10), [&] { return reports >= n; });
        lock.unlock();
        if (!all) {
            ADD_FAILURE() << "only " << reports << " of " << n << " devices reported; cancelling";
            batch.Cancel();
        }
        batch.Join();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    tally.longestSeconds = std::max(tally.longestSeconds, seconds);

    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE("device " + std::to_string(i));
        const sim::DeviceRecords records = simulator->Records(i);
        const Expected expected = ExpectedUpgrade(records);
        const auto got = results.find(static_cast<int>(i));
        ASSERT_NE(got, results.end()) << "no result";
        ASSERT_EQ(got->second.size(), 1u) << "more than one result";
        const UpgradeReport& report = got->second.front();
        EXPECT_EQ(report.code, expected.code) << expected.why;
        EXPECT_EQ(report.attempts, expected.attempts) << expected.why;
        // One connection per attempt: nothing retried behind the result's back.
        EXPECT_EQ(records.connections, static_cast<uint64_t>(report.attempts)) << expected.why;
        if (report.code == kUpgradeSuccess) {
            const auto image = records.images.find(sim::UpgradeKind::Software);
            ASSERT_NE(image, records.images.end()) << "reported upgraded without an image: " << expected.why;
            EXPECT_EQ(fwtest::Sha256Hex(image->second), payloadSha) << expected.why;
        }
        tally.Count(report.code, records, true);
    }
    simulator->Stop();
    simulator.reset();
    soak::ExpectCountsBack(start, "the batch");
}

TEST_F(UpgradeSoak, EveryDeviceEndsWithTheResultItsFaultsImply) {
    soak::Tally tally;
    const auto began = std::chrono::steady_clock::now();
    for (uint64_t seed = size.firstSeed; seed < size.firstSeed + size.seeds; ++seed) {
        RunSeed(seed, tally);
        if (HasFatalFailure()) return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    tally.Print("upgrade", size.seeds, size.devices, seconds);
}

}  // namespace
