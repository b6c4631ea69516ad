// The upgrade worker and the batch against simulated devices: what reaches
// the device, how refusals, package errors, broken transfers and device
// failures end, and the wait while the device writes its image.
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FwbatchSimSupport.h"
#include "common/platform/Clock.h"
#include "fwbatch/engine/UpgradeBatch.h"
#include "fwbatch/engine/UpgradeResult.h"
#include "sim/Simulator.h"
#include "tests/integration/sim/SimTestSupport.h"
#include "tests/support/HangGuard.h"

namespace {

using namespace fwbatch;

struct UpgradeRun {
    UpgradeOutcome outcome;
    std::vector<int> progress;
};

UpgradeRun Upgrade(const sim::Simulator& simulator, size_t device, const UpgradeSettings& settings,
            const UpgradeOptions& options = fwtest::QuickUpgradeOptions()) {
    UpgradeRun run;
    std::mutex mutex;
    std::atomic<bool> finishing{false};
    run.outcome = UpgradeDevice(simulator.Address(device).c_str(), simulator.DataPort(device), 7, settings,
                                finishing,
                                [&](int index, int percent) {
                                    EXPECT_EQ(index, 7);
                                    std::lock_guard<std::mutex> lock(mutex);
                                    run.progress.push_back(percent);
                                },
                                options);
    return run;
}

UpgradeSettings Settings(const std::string& package, int type = kUpgradeSoftware) {
    UpgradeSettings settings;
    settings.package = fwtest::ReadPackage(package);
    settings.type = type;
    settings.userName = "admin";
    settings.password = "739164";
    return settings;
}

TEST(UpgradeSim, PiecesReachTheDeviceAndMakeThePayload) {
    struct Row {
        const char* package;
        int type;
        const char* deviceVersion;
        sim::UpgradeKind kind;
        uint32_t firstPiece;
        uint32_t piece;
    };
    const Row rows[] = {
        {"sw_250.pkg", kUpgradeSoftware, "5.0.0.0", sim::UpgradeKind::Software, 52, 2},
        {"sw_50.pkg", kUpgradeSoftware, "5.0.0.0", sim::UpgradeKind::Software, 50, 0},
        {"sw_large.pkg", kUpgradeSoftware, "4.0.2.0", sim::UpgradeKind::Software, 3007, 3000},
        {"sw_gzip.pkg", kUpgradeSoftware, "4.0.10.1", sim::UpgradeKind::Software, 0, 0},
        {"kernel.pkg", kUpgradeKernel, "4.1.0.0", sim::UpgradeKind::Kernel, 46, 12},
    };
    std::vector<sim::DeviceConfig> fleet = simtest::QuickFleet(std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) fleet[i].identity.softwareVer = rows[i].deviceVersion;
    auto simulator = simtest::StartSimulator(fleet);
    std::vector<int> shown;
    for (int p = 1; p <= 91; ++p) shown.push_back(p);

    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.package);
        const UpgradeRun run = Upgrade(*simulator, i, Settings(row.package, row.type));
        EXPECT_EQ(run.outcome.code, kUpgradeSuccess);
        EXPECT_EQ(run.outcome.attempts, 1);
        // Percentages 0..8 are not shown; 98 shows as 90, and 99 (91) ends the transfer.
        EXPECT_EQ(run.progress, shown);
        const sim::DeviceRecords records = simulator->Records(i);
        ASSERT_EQ(records.pieces.size(), 100u);
        for (uint32_t s = 1; s <= 100; ++s) {
            EXPECT_EQ(records.pieces[s - 1].sequence, s);
            if (row.firstPiece != 0) {
                EXPECT_EQ(records.pieces[s - 1].length, s == 1 ? row.firstPiece : row.piece);
            }
        }
        EXPECT_TRUE(records.anomalies.empty());
        ASSERT_EQ(records.images.count(row.kind), 1u);
        EXPECT_EQ(fwtest::Sha256Hex(records.images.at(row.kind)), fwtest::ExpectedPayloadSha256(row.package));
    }
}

TEST(UpgradeSim, RefusalsAndPackageErrorsEndAtOnce) {
    struct Row {
        const char* what;
        std::function<void(sim::DeviceConfig&)> device;
        std::function<void(UpgradeSettings&)> settings;
        int code;
        bool connects = true;
    };
    const std::vector<Row> rows = {
        {"wrong password", [](sim::DeviceConfig& d) { d.faults.refuseLogin = 2; }, {}, kUpgradeWrongCredentials},
        {"too many connections", [](sim::DeviceConfig& d) { d.faults.refuseLogin = 3; }, {},
         kUpgradeTooManyConnections},
        {"other refusal", [](sim::DeviceConfig& d) { d.faults.refuseLogin = 13; }, {}, kUpgradeConnectionFailed},
        {"no greeting", [](sim::DeviceConfig& d) { d.faults.silence = sim::Silence::NoGreeting; }, {},
         kUpgradeConnectionFailed},
        {"protocol version 4", [](sim::DeviceConfig& d) { d.greeting.protocolVersion = 4; }, {},
         kUpgradeConnectionFailed},
        {"compressed image for 4.0.2.0", [](sim::DeviceConfig& d) { d.identity.softwareVer = "4.0.2.0"; },
         [](UpgradeSettings& s) { s.package = fwtest::ReadPackage("sw_gzip.pkg"); }, kUpgradePackageError},
        {"plain image for 3.5", [](sim::DeviceConfig& d) { d.identity.softwareVer = "3.5.0.0"; }, {},
         kUpgradePackageError},
        {"kernel package as uboot", {},
         [](UpgradeSettings& s) {
             s.package = fwtest::ReadPackage("kernel.pkg");
             s.type = kUpgradeUboot;
         },
         kUpgradePackageError},
        {"too short", {}, [](UpgradeSettings& s) { s.package.assign(63, 0); }, kUpgradePackageError},
        {"user name of 32 bytes", {}, [](UpgradeSettings& s) { s.userName.assign(32, 'u'); },
         kUpgradeWrongCredentials, false},
        {"password of 40 bytes", {}, [](UpgradeSettings& s) { s.password.assign(40, 'p'); },
         kUpgradeWrongCredentials, false},
    };
    std::vector<sim::DeviceConfig> fleet = simtest::QuickFleet(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        fleet[i].identity.softwareVer = "5.0.0.0";
        if (rows[i].device) rows[i].device(fleet[i]);
    }
    auto simulator = simtest::StartSimulator(fleet);
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        UpgradeSettings settings = Settings("sw_250.pkg");
        if (rows[i].settings) rows[i].settings(settings);
        const UpgradeRun run = Upgrade(*simulator, i, settings);
        EXPECT_EQ(run.outcome.code, rows[i].code);
        EXPECT_EQ(run.outcome.attempts, 1);
        const sim::DeviceRecords records = simulator->Records(i);
        EXPECT_TRUE(records.pieces.empty());
        EXPECT_EQ(records.connections > 0, rows[i].connects);
    }
}

TEST(UpgradeSim, BrokenTransfersAreRetriedUpToFiveAttempts) {
    struct Row {
        const char* what;
        std::function<void(sim::DeviceConfig&)> device;
        int code;
        int attempts;
    };
    const std::vector<Row> rows = {
        {"4 drops before 98", [](sim::DeviceConfig& d) {
             d.faults.dropConnection = {50, false, 4};
         }, kUpgradeSuccess, 5},
        {"drops every time", [](sim::DeviceConfig& d) { d.faults.dropConnection = {50, true, 1}; },
         kUpgradeFailed, 5},
        {"drop instead of 98", [](sim::DeviceConfig& d) { d.faults.dropConnection = {98, false, 1}; },
         kUpgradeSuccess, 2},
        {"reboot after the image", [](sim::DeviceConfig& d) { d.behaviour.finish = sim::UpgradeFinish::Reboot; },
         kUpgradeSuccess, 1},
        {"failure before 98", [](sim::DeviceConfig& d) { d.faults.failUpgrade = {40, false, 1}; },
         kUpgradeSuccess, 2},
        {"failure every time before 98", [](sim::DeviceConfig& d) { d.faults.failUpgrade = {40, true, 1}; },
         kUpgradeFailed, 5},
        // Reported while the image is written: no retry, and never success.
        {"failure after 98", [](sim::DeviceConfig& d) { d.faults.failUpgrade = {99, true, 1}; }, kUpgradeFailed,
         1},
    };
    std::vector<sim::DeviceConfig> fleet = simtest::QuickFleet(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        fleet[i].identity.softwareVer = "5.0.0.0";
        rows[i].device(fleet[i]);
    }
    auto simulator = simtest::StartSimulator(fleet);
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        const UpgradeRun run = Upgrade(*simulator, i, Settings("sw_250.pkg"));
        EXPECT_EQ(run.outcome.code, rows[i].code);
        EXPECT_EQ(run.outcome.attempts, rows[i].attempts);
        if (rows[i].code == kUpgradeSuccess) {
            const sim::DeviceRecords records = simulator->Records(i);
            ASSERT_EQ(records.images.count(sim::UpgradeKind::Software), 1u);
            EXPECT_EQ(fwtest::Sha256Hex(records.images.at(sim::UpgradeKind::Software)),
                      fwtest::ExpectedPayloadSha256("sw_250.pkg"));
        }
    }
}

// The test's clock, which also tells when it has been read. The test moves
// time on only after the worker has read the time before, so the worker sees
// every step, however slowly it runs.
class WatchedClock : public platform::Clock {
public:
    uint64_t TickMs() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_reads;
        m_cv.notify_all();
        return m_now;
    }
    void SleepMs(uint32_t ms) override { Advance(ms); }
    // Moves time on; returns how often the clock had been read before.
    uint64_t Advance(uint64_t ms) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_now += ms;
        return m_reads;
    }
    uint64_t Reads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reads;
    }
    // Waits (bounded) until the clock has been read `count` more times than
    // `reads`, or `ended` holds (its setter calls Wake).
    bool WaitReads(uint64_t reads, uint64_t count, const std::atomic<bool>& ended) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, testsupport::kHangGuard,
                             [&] { return m_reads >= reads + count || ended.load(); });
    }
    void Wake() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    uint64_t m_now = 1000;
    uint64_t m_reads = 0;
};

// While the device writes its image the shown value climbs from 91 to 100,
// one step per tenth of the wait window, and at the window's end the
// upgrade is taken as done. Time is the test's clock.
TEST(UpgradeSim, FinalPhaseWaitFollowsTheClock) {
    struct Row {
        uint32_t payload;
        uint64_t windowMs;
    };
    const Row rows[] = {{1000, 140000}, {0xC00000, 240000}};
    auto simulator = simtest::StartSimulator(simtest::QuickFleet(std::size(rows), [](sim::DeviceConfig& d) {
        d.identity.softwareVer = "5.0.0.0";
        d.behaviour.writeImageMs = 3600000;  // never within the test
    }));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].windowMs);
        UpgradeSettings settings;
        settings.package.assign(rows[i].payload + kSoftwareTrailer, 0x5A);
        std::copy_n("head", 4, settings.package.end() - kSoftwareTrailer);
        settings.userName = "admin";
        settings.password = "739164";
        WatchedClock clock;
        UpgradeOptions options = fwtest::QuickUpgradeOptions();
        options.session.clock = &clock;
        options.timings.pollMs = 10;

        std::mutex mutex;
        std::condition_variable changed;
        std::vector<int> progress;
        std::atomic<bool> finishing{false};
        std::atomic<bool> ended{false};
        UpgradeOutcome outcome;
        bool done = false;
        std::thread worker([&] {
            const UpgradeOutcome o = UpgradeDevice(
                simulator->Address(i).c_str(), simulator->DataPort(i), 0, settings, finishing,
                [&](int, int percent) {
                    std::lock_guard<std::mutex> lock(mutex);
                    progress.push_back(percent);
                    changed.notify_all();
                },
                options);
            {
                std::lock_guard<std::mutex> lock(mutex);
                outcome = o;
                done = true;
                changed.notify_all();
            }
            ended = true;
            clock.Wake();
        });
        auto waitFor = [&](const std::function<bool()>& ready, int ms) {
            std::unique_lock<std::mutex> lock(mutex);
            return changed.wait_for(lock, std::chrono::milliseconds(ms), ready);
        };
        ASSERT_TRUE(waitFor([&] { return !progress.empty() && progress.back() == 90; }, 60000));
        // The worker's next read of the clock is a poll of the writing
        // phase, the first of which starts the window; time moves only after it.
        bool keptPolling = clock.WaitReads(clock.Reads(), 1, ended);
        // Up to the window's end: every step is seen, and the worker goes on
        // polling (three reads: a poll that ends the wait reads twice).
        const uint64_t step = rows[i].windowMs / 20;
        for (int k = 0; k < 20 && keptPolling && !ended; ++k) {
            keptPolling = clock.WaitReads(clock.Advance(step), 3, ended);
        }
        EXPECT_TRUE(keptPolling) << "the worker stopped polling the progress";
        EXPECT_FALSE(ended) << "the upgrade was taken as done before the window was over";
        // One step past the window: over. A worker that went on waiting is
        // let go by the guard, which moves time far on.
        clock.Advance(step);
        EXPECT_TRUE(testsupport::ReturnsWithoutHanging(
            "the upgrade after its window", [&] { worker.join(); },
            [&] { clock.Advance(10 * rows[i].windowMs); }));
        EXPECT_EQ(outcome.code, kUpgradeSuccess);
        EXPECT_TRUE(finishing.load());
        // The window's end is taken as the device's 99, shown as 91 before the result.
        const std::vector<int> tail(progress.begin() + 90, progress.end());
        EXPECT_EQ(tail, (std::vector<int>{91, 92, 93, 94, 95, 96, 97, 98, 99, 100, 91}));
    }
}

// A device that stops answering while the connection stays open: each
// attempt ends after the piece-reply limit (on the test's clock), and the
// fifth with "Upgrade failed!". Without the limit the worker waited for ever.
TEST(UpgradeSim, SilenceDuringTheTransferIsBounded) {
    auto simulator = simtest::StartSimulator(simtest::QuickFleet(1, [](sim::DeviceConfig& d) {
        d.identity.softwareVer = "5.0.0.0";
        d.faults.silence = sim::Silence::AfterLogin;
    }));
    platform::ManualClock clock;
    UpgradeOptions options = fwtest::QuickUpgradeOptions();
    options.session.clock = &clock;
    options.timings.pollMs = 5;
    std::atomic<bool> done{false};
    std::atomic<bool> finishing{false};
    UpgradeOutcome outcome;
    const UpgradeSettings settings = Settings("sw_250.pkg");
    std::thread worker([&] {
        outcome = UpgradeDevice(simulator->Address(0).c_str(), simulator->DataPort(0), 0, settings, finishing, {},
                                options);
        done = true;
    });
    for (int i = 0; i < 6000 && !done; ++i) {  // at most a minute of real time
        clock.Advance(5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool ended = done.load();
    if (!ended) simulator->Stop();  // ends the worker's connection
    worker.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(outcome.code, kUpgradeFailed);
    EXPECT_EQ(outcome.attempts, kUpgradeAttempts);
}

TEST(UpgradeSim, BatchGivesOneResultPerDeviceAndRefusesPortZero) {
    auto simulator = simtest::StartSimulator(simtest::QuickFleet(3, [](sim::DeviceConfig& d) {
        d.identity.softwareVer = "5.0.0.0";
    }));
    auto settings = std::make_shared<UpgradeSettings>(Settings("sw_250.pkg"));
    std::mutex mutex;
    std::map<int, std::vector<int>> results;
    {
        UpgradeBatch batch(settings, {}, [&](int index, const UpgradeReport& report) {
            std::lock_guard<std::mutex> lock(mutex);
            results[index].push_back(report.code);
        }, fwtest::QuickUpgradeOptions());
        for (int i = 0; i < 3; ++i) {
            SEARCH_DEVICE_INFO device{};
            std::snprintf(device.ip[1], sizeof device.ip[1], "%s", simulator->Address(static_cast<size_t>(i)).c_str());
            std::snprintf(device.mac, sizeof device.mac, "%s", simulator->Mac(static_cast<size_t>(i)).c_str());
            device.dataPort = i == 1 ? 0 : simulator->DataPort(static_cast<size_t>(i));
            device.httpPort = i == 2 ? 0 : 80;
            batch.Add(MakeUpdateRecord(10 + i, device));
        }
        EXPECT_STREQ(batch.Record(0).deviceKey, simulator->Mac(0).c_str());
        batch.Start();
        batch.Join();
        EXPECT_FALSE(batch.Complete());
        EXPECT_FALSE(batch.MarkDone(10));
        EXPECT_FALSE(batch.MarkDone(11));
        EXPECT_TRUE(batch.MarkDone(12));
    }
    EXPECT_EQ(results, (std::map<int, std::vector<int>>{
                           {10, {kUpgradeSuccess}}, {11, {kUpgradeWrongPort}}, {12, {kUpgradeWrongPort}}}));
    EXPECT_EQ(simulator->Records(1).connections + simulator->Records(2).connections, 0u);
}

}  // namespace
