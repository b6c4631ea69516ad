// Many devices in one process: each answers a login of its own, and the
// control commands camsim reads act on the fleet.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "SimTestSupport.h"
#include "sim/ControlCommand.h"

namespace {

using namespace simtest;

TEST(SimFleet, SixtyFourDevicesEachAnswerALogin) {
    constexpr size_t kDevices = 64;
    auto simulator = StartSimulator(QuickFleet(kDevices, [](sim::DeviceConfig& d) {
        d.greeting.digestMode = static_cast<uint8_t>(d.identity.mac.back() % 3);  // the forms mixed
    }));
    std::set<std::string> endpoints;
    for (size_t i = 0; i < kDevices; ++i) {
        EXPECT_EQ(simulator->Address(i), sim::DefaultAddress(i));
        endpoints.insert(simulator->Address(i) + ":" + std::to_string(simulator->DataPort(i)));
    }
    EXPECT_EQ(endpoints.size(), kDevices);
    EXPECT_EQ(simulator->Address(0), "127.0.0.2");

    // A few workers log in to all devices at once, holding every session.
    std::vector<SessionPtr> sessions(kDevices);
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 8; ++w) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < kDevices; i = next++) {
                sessions[i] = LoggedInSession(*simulator, i);
            }
        });
    }
    for (auto& w : workers)
        w.join();
    for (size_t i = 0; i < kDevices; ++i) {
        ASSERT_TRUE(sessions[i]) << "device " << i;
        const auto records = simulator->Records(i);
        ASSERT_EQ(records.logins.size(), 1u) << i;
        EXPECT_TRUE(records.logins[0].accepted) << i;
        EXPECT_EQ(records.openSessions, 1u) << i;
    }
    // With every session open and idle, the loop thread sleeps.
    const uint64_t before = simulator->LoopWakeups();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(simulator->LoopWakeups() - before,
              5000u);  // generous: the programs' keep-alives wake it
}

TEST(SimFleet, DefaultAddressesSkipTheNetworkAndBroadcastBytes) {
    EXPECT_EQ(sim::DefaultAddress(0), "127.0.0.2");
    EXPECT_EQ(sim::DefaultAddress(252), "127.0.0.254");
    EXPECT_EQ(sim::DefaultAddress(253), "127.0.1.1");
    EXPECT_EQ(sim::DefaultAddress(254 * 256 - 1), "127.1.0.1");
    std::set<std::string> macs;
    for (size_t i = 0; i < 70000; i += 7)
        macs.insert(sim::DefaultMac(i));
    EXPECT_EQ(macs.size(), 10000u);
}

TEST(SimFleet, TwoDevicesCannotShareAnAddressAndPortOrAMac) {
    auto devices = QuickFleet(2, [](sim::DeviceConfig& d) { d.identity.mac = "AA:BB"; });
    sim::Simulator simulator(devices);
    std::string error;
    EXPECT_FALSE(simulator.Start(&error));
    EXPECT_NE(error.find("used twice"), std::string::npos) << error;

    auto clash =
        QuickFleet(2, [](sim::DeviceConfig& d) { d.identity.listenAddress = "127.0.0.9"; });
    sim::Simulator first({clash[0]});
    ASSERT_TRUE(first.Start(&error)) << error;
    clash[1].identity.dataPort = first.DataPort(0);
    sim::Simulator second({clash[1]});
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.9"), std::string::npos) << error;
}

TEST(SimFleet, ASimulatorStartsOnceAndStopsTwiceHarmlessly) {
    auto simulator = StartSimulator(QuickFleet(1));
    std::string error;
    EXPECT_FALSE(simulator->Start(&error));
    EXPECT_EQ(error, "a simulator starts only once");
    simulator->Stop();
    simulator->Stop();
    int code = 0;
    EXPECT_FALSE(OpenSession(*simulator, 0, code));  // nothing listens any more
}

TEST(SimFleet, ControlCommandsNameDevicesByIndexMacOrAll) {
    auto simulator = StartSimulator(QuickFleet(3));  // without the search
    EXPECT_EQ(sim::RunControlCommand(*simulator, "leave 1").reply,
              "error: the search is not answered (--no-search)\n");
    EXPECT_EQ(sim::RunControlCommand(*simulator, "leave 7").reply, "error: no device \"7\"\n");
    EXPECT_EQ(
        sim::RunControlCommand(*simulator, "frobnicate").reply.rfind("error: unknown command", 0),
        0u);
    const std::string list = sim::RunControlCommand(*simulator, "list").reply;
    EXPECT_NE(list.find("device 2 " + simulator->Mac(2) + " 127.0.0.4:"), std::string::npos)
        << list;
    EXPECT_TRUE(sim::RunControlCommand(*simulator, "quit").quit);
    EXPECT_TRUE(sim::RunControlCommand(*simulator, "").reply.empty());
}

}  // namespace
