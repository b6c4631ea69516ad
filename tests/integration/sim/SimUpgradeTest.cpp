// The firmware upgrade against simulated devices: 100 pieces paced by the
// device's progress replies, the image kept per type, the two ways an
// upgrade ends, and the upgrade faults.

#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "common/session/SessionResults.h"

namespace {

using namespace simtest;
using sim::UpgradeKind;

constexpr uint32_t kCommands[] = {0x0A02, 0x0801, 0x0802, 0x0805};

TEST(SimUpgrade, EveryTypeIsReceivedWholeAndKeptApart) {
    auto simulator = StartSimulator(QuickFleet(1));
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    std::vector<std::vector<uint8_t>> payloads;
    for (int kind = 0; kind < 4; ++kind) {
        payloads.push_back(
            Pattern(25000 + 37 * static_cast<size_t>(kind), static_cast<uint8_t>(kind + 1)));
        const UpgradeRun run = RunUpgrade(*session, kind, payloads.back());
        EXPECT_EQ(run.status, 0) << kind;
        EXPECT_TRUE(run.reached98) << kind;
        EXPECT_EQ(run.piecesSent, 100) << kind;
    }
    const sim::DeviceRecords records = simulator->Records(0);
    ASSERT_EQ(records.images.size(), 4u);
    for (int kind = 0; kind < 4; ++kind) {
        EXPECT_EQ(records.images.at(static_cast<UpgradeKind>(kind)),
                  payloads[static_cast<size_t>(kind)])
            << kind;
    }
    ASSERT_EQ(records.pieces.size(), 400u);
    for (size_t i = 0; i < records.pieces.size(); ++i) {
        EXPECT_EQ(records.pieces[i].command, kCommands[i / 100]);
        EXPECT_EQ(records.pieces[i].sequence, i % 100 + 1);
    }
    // 25000 bytes: a first piece of 250, then 99 of 250.
    EXPECT_EQ(records.pieces[0].length, 250u);
    EXPECT_EQ(records.upgradesCompleted, 4u);
    EXPECT_EQ(records.upgradesFailed, 0u);
    EXPECT_TRUE(records.anomalies.empty());
}

TEST(SimUpgrade, ASmallPayloadTravelsInTheFirstPieceAndEmptyOnes) {
    auto simulator =
        StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) { d.link.fragmentSize = 10; }));
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    const std::vector<uint8_t> payload = Pattern(57, 9);
    EXPECT_EQ(RunUpgrade(*session, 1, payload).status, 0);
    const auto records = simulator->Records(0);
    EXPECT_EQ(records.images.at(UpgradeKind::Kernel), payload);
    EXPECT_EQ(records.pieces.front().length, 57u);
    EXPECT_EQ(records.pieces.back().length, 0u);
    EXPECT_EQ(records.pieces.back().sequence, 100u);
}

TEST(SimUpgrade, ARebootAfterTheImageEndsTheConnectionLikeSuccess) {
    auto simulator = StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) {
        d.behaviour.finish = sim::UpgradeFinish::Reboot;
        d.behaviour.writeImageMs = 20;
        d.behaviour.pieceDelayMs = 1;
    }));
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    const std::vector<uint8_t> payload = Pattern(3000, 4);
    const UpgradeRun run = RunUpgrade(*session, 0, payload);
    EXPECT_EQ(run.status, session::kLinkFailed);
    EXPECT_TRUE(run.reached98);  // the program counts this as success
    const auto records = simulator->Records(0);
    EXPECT_EQ(records.images.at(UpgradeKind::Software), payload);
    EXPECT_EQ(records.dropsDone, 1u);
    EXPECT_EQ(records.upgradesCompleted, 0u);
}

TEST(SimUpgrade, AFailureAtAChosenPercentageIsProgressZero) {
    for (int kind : {0, 2}) {
        auto simulator = StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) {
            d.faults.failUpgrade = {40, true};
        }));
        SessionPtr session = LoggedInSession(*simulator, 0);
        ASSERT_TRUE(session);
        const UpgradeRun run = RunUpgrade(*session, kind, Pattern(1000, 1));
        EXPECT_EQ(run.status, session::kDeviceFailed) << kind;
        EXPECT_EQ(run.lastPercent, 39) << kind;  // percentage 40 never came
        EXPECT_FALSE(run.reached98);
        const auto records = simulator->Records(0);
        EXPECT_EQ(records.upgradesFailed, 1u);
        EXPECT_EQ(records.pieces.size(), 41u);
        EXPECT_TRUE(records.images.empty());

        // Every time: a second attempt fails the same way.
        SessionPtr retry = LoggedInSession(*simulator, 0);
        ASSERT_TRUE(retry);
        EXPECT_EQ(RunUpgrade(*retry, kind, Pattern(1000, 1)).status, session::kDeviceFailed);
    }
}

TEST(SimUpgrade, ADropOnceLetsTheRetrySucceed) {
    auto simulator = StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) {
        d.faults.dropConnection = {30, false};
    }));
    const std::vector<uint8_t> payload = Pattern(5000, 5);
    {
        SessionPtr session = LoggedInSession(*simulator, 0);
        ASSERT_TRUE(session);
        const UpgradeRun run = RunUpgrade(*session, 3, payload);
        EXPECT_EQ(run.status, session::kLinkFailed);
        EXPECT_EQ(run.lastPercent, 29);
        EXPECT_FALSE(run.reached98);
    }
    SessionPtr session = LoggedInSession(*simulator, 0);
    ASSERT_TRUE(session);
    EXPECT_EQ(RunUpgrade(*session, 3, payload).status, 0);
    const auto records = simulator->Records(0);
    EXPECT_EQ(records.images.at(UpgradeKind::AiLibrary), payload);
    EXPECT_EQ(records.dropsDone, 1u);
}

TEST(SimUpgrade, ADropEveryTimeDropsEveryAttempt) {
    auto simulator = StartSimulator(QuickFleet(1, [](sim::DeviceConfig& d) {
        d.faults.dropConnection = {0, true};
    }));
    for (int attempt = 0; attempt < 2; ++attempt) {
        SessionPtr session = LoggedInSession(*simulator, 0);
        ASSERT_TRUE(session);
        const UpgradeRun run = RunUpgrade(*session, 0, Pattern(500, 2));
        EXPECT_EQ(run.status, session::kLinkFailed) << attempt;
        EXPECT_EQ(run.lastPercent, -1) << attempt;  // dropped before the first progress
    }
    EXPECT_EQ(simulator->Records(0).dropsDone, 2u);
}

TEST(SimUpgrade, ManyDevicesUpgradeAtOnceWithPacing) {
    constexpr size_t kDevices = 8;
    auto simulator = StartSimulator(
        QuickFleet(kDevices, [](sim::DeviceConfig& d) { d.behaviour.pieceDelayMs = 1; }));
    std::vector<std::thread> workers;
    std::vector<int> results(kDevices, -1);
    for (size_t i = 0; i < kDevices; ++i) {
        workers.emplace_back([&, i] {
            SessionPtr session = LoggedInSession(*simulator, i);
            if (session)
                results[i] = RunUpgrade(*session, static_cast<int>(i % 4),
                                        Pattern(20000, static_cast<uint8_t>(i)))
                                 .status;
        });
    }
    for (auto& w : workers)
        w.join();
    for (size_t i = 0; i < kDevices; ++i) {
        EXPECT_EQ(results[i], 0) << i;
        EXPECT_EQ(simulator->Records(i).images.at(static_cast<UpgradeKind>(i % 4)),
                  Pattern(20000, static_cast<uint8_t>(i)));
    }
}

}  // namespace
