// The simulated fleet answers the program-side search (LANSCOUT_* as the
// programs call it), each test inside its own private network namespace:
// every device is found with the answer its identity makes, a device told
// to leave gives one gone notice, one that comes back is found again.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "SimTestSupport.h"
#include "discovery/SearchAnswer.h"
#include "lanscout/Lanscout.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace {

using namespace simtest;

struct Report {
    std::string mac;
    int kind = 0;
    std::string xml;
};

class Reports {
public:
    void Add(const char* mac, int kind, const char* xml) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_reports.push_back({mac, kind, xml});
        m_changed.notify_all();
    }
    size_t Count(const std::string& mac, int kind) {
        std::lock_guard<std::mutex> lock(m_lock);
        return CountLocked(mac, kind);
    }
    bool WaitCount(const std::string& mac, int kind, size_t count) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(30),
                                  [&] { return CountLocked(mac, kind) >= count; });
    }
    std::vector<Report> Snapshot() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_reports;
    }

private:
    size_t CountLocked(const std::string& mac, int kind) const {
        size_t n = 0;
        for (const auto& r : m_reports)
            n += (r.mac == mac && r.kind == kind) ? 1 : 0;
        return n;
    }
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Report> m_reports;
};

void Record(const char* mac, int kind, const char* xml, void* context) {
    static_cast<Reports*>(context)->Add(mac, kind, xml);
}

class SimSearchNetns : public nstest::PrivateNetnsTest {
protected:
    void TearDown() override { LANSCOUT_Quit(); }
};

TEST_F(SimSearchNetns, TheProgramsFindTheFleetAndSeeDevicesLeaveAndReturn) {
    constexpr size_t kDevices = 6;
    sim::SimulatorOptions options;
    options.answerSearch = true;
    auto simulator = StartSimulator(
        QuickFleet(kDevices,
                   [](sim::DeviceConfig& d) {
                       if (d.identity.mac == sim::DefaultMac(3)) {
                           d.identity.devName =
                               "Hall <east> & \xE5\xA4\xA7\xE9\x97\xA8";  // escaped, UTF-8
                           d.identity.ip[1] = "192.168.7.20";
                           d.identity.mask[1] = "255.255.0.0";
                       }
                   }),
        options);

    Reports reports;
    ASSERT_EQ(LANSCOUT_Initial(Record, &reports, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    for (size_t i = 0; i < kDevices; ++i) {
        ASSERT_TRUE(reports.WaitCount(simulator->Mac(i), LANSCOUT_KIND_FOUND, 1)) << i;
    }
    for (const Report& r : reports.Snapshot()) {
        ASSERT_EQ(r.kind, LANSCOUT_KIND_FOUND);
        size_t i = 0;
        while (i < kDevices && simulator->Mac(i) != r.mac)
            ++i;
        ASSERT_LT(i, kDevices) << r.mac;
        EXPECT_EQ(r.xml, simulator->SearchAnswer(i));
        // What the program's parser makes of it.
        discovery::SearchReport parsed = discovery::ParseSearchAnswer(
            r.mac.c_str(), r.kind, r.xml.c_str(), discovery::kFwbatchRules);
        ASSERT_EQ(parsed.type, discovery::SearchReport::Type::Device);
        const SEARCH_DEVICE_INFO& info = *parsed.device;
        EXPECT_EQ(std::string(info.ip[0]), simulator->Address(i));
        EXPECT_EQ(info.dataPort, simulator->DataPort(i));
        EXPECT_EQ(info.httpPort, 80);
        EXPECT_STREQ(info.softwareVer, "4.1.2.3");
        EXPECT_STREQ(info.softwareBuildDate, "2024-03-15");
        EXPECT_EQ(info.build, 1024);
        EXPECT_EQ(info.deviceActivated, 0);
        if (i == 3) {
            EXPECT_STREQ(info.ip[1], "192.168.7.20");
            EXPECT_STREQ(info.mask[1], "255.255.0.0");
        }
    }

    // One device leaves: exactly one gone notice, the others stay.
    const std::string leaving = simulator->Mac(2);
    ASSERT_TRUE(simulator->Leave(2));
    EXPECT_FALSE(simulator->Answering(2));
    ASSERT_TRUE(reports.WaitCount(leaving, LANSCOUT_KIND_GONE, 1));
    // A few more rounds, and still only one.
    const std::string other = simulator->Mac(0);
    const size_t goneBefore = reports.Count(leaving, LANSCOUT_KIND_GONE);
    ASSERT_TRUE(simulator->Return(4));  // already answering: changes nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(reports.Count(leaving, LANSCOUT_KIND_GONE), goneBefore);
    EXPECT_EQ(goneBefore, 1u);
    for (size_t i = 0; i < kDevices; ++i) {
        if (i != 2) {
            EXPECT_EQ(reports.Count(simulator->Mac(i), LANSCOUT_KIND_GONE), 0u) << i;
        }
    }

    // It comes back: found again.
    ASSERT_TRUE(simulator->Return(2));
    ASSERT_TRUE(reports.WaitCount(leaving, LANSCOUT_KIND_FOUND, 2));
    EXPECT_EQ(reports.Count(other, LANSCOUT_KIND_FOUND), 1u);
}

TEST_F(SimSearchNetns, AChangedIdentityIsReportedAsAChangedAnswer) {
    sim::SimulatorOptions options;
    options.answerSearch = true;
    auto simulator = StartSimulator(QuickFleet(1), options);
    Reports reports;
    ASSERT_EQ(LANSCOUT_Initial(Record, &reports, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    ASSERT_TRUE(reports.WaitCount(simulator->Mac(0), LANSCOUT_KIND_FOUND, 1));
    sim::DeviceConfig config = simulator->Config(0);
    config.identity.softwareVer = "4.2.0.0";
    ASSERT_TRUE(simulator->SetConfig(0, config));
    ASSERT_TRUE(reports.WaitCount(simulator->Mac(0), LANSCOUT_KIND_CHANGED, 1));
    EXPECT_NE(reports.Snapshot().back().xml.find("<softwareVer>4.2.0.0</softwareVer>"),
              std::string::npos);
}

TEST_F(SimSearchNetns, CamsimLeavesAndReturnsOnSignalsAndCommands) {
    Child camsim({CAMSIM_PATH, "--devices", "3", "--port", "0", "--commands", "--quiet"});
    std::string line;
    ASSERT_TRUE(camsim.ReadLine(line));
    ASSERT_EQ(line, "ready 3");
    Reports reports;
    ASSERT_EQ(LANSCOUT_Initial(Record, &reports, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    const std::string macs[] = {sim::DefaultMac(0), sim::DefaultMac(1), sim::DefaultMac(2)};
    for (const auto& mac : macs)
        ASSERT_TRUE(reports.WaitCount(mac, LANSCOUT_KIND_FOUND, 1)) << mac;

    camsim.Write("leave " + macs[1] + "\n");
    ASSERT_TRUE(camsim.ReadLine(line));
    EXPECT_EQ(line, "ok leave 1");
    ASSERT_TRUE(reports.WaitCount(macs[1], LANSCOUT_KIND_GONE, 1));
    camsim.Write("return 1\n");
    ASSERT_TRUE(camsim.ReadLine(line));
    EXPECT_EQ(line, "ok return 1");
    ASSERT_TRUE(reports.WaitCount(macs[1], LANSCOUT_KIND_FOUND, 2));

    camsim.Signal(SIGUSR1);  // every device leaves
    for (const auto& mac : macs)
        ASSERT_TRUE(reports.WaitCount(mac, LANSCOUT_KIND_GONE, mac == macs[1] ? 2 : 1)) << mac;
    camsim.Signal(SIGUSR2);  // and comes back
    for (const auto& mac : macs)
        ASSERT_TRUE(reports.WaitCount(mac, LANSCOUT_KIND_FOUND, mac == macs[1] ? 3 : 2)) << mac;

    camsim.Write("quit\n");
    ASSERT_TRUE(camsim.ReadLine(line));
    EXPECT_EQ(line, "ok quit");
    EXPECT_EQ(camsim.Wait(), 0);
}

}  // namespace
