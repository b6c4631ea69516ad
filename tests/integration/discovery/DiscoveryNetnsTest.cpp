// Discovery start and stop, the link-local route and `camprep discover`,
// inside a private network namespace of the test's own.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "discovery/DeviceDiscovery.h"
#include "lanscout/Responder.h"
#include "tests/integration/platform/PrivateNetns.h"
#include "tests/integration/platform/WatchedNetwork.h"
#include "tests/support/HangGuard.h"

namespace {

using namespace std::chrono_literals;
using nstest::Capture;
using nstest::Shell;

std::string Answer(const std::string& series, const std::string& name, const std::string& ip) {
    return "<?xml version=\"1.0\"?><multicastSearchResult><productInfo><productSeries>" + series +
           "</productSeries><devName>" + name +
           "</devName><productModel>IPC-T1</productModel><softwareVer>3.4.2</"
           "softwareVer><build>12</build>"
           "<softwareBulildDate>2024-01-02</softwareBulildDate><kernelVer>4.9</kernelVer>"
           "<deviceActivated>0</deviceActivated></productInfo><tcpIp><ipAddr><item><ip>" +
           ip +
           "</ip><mask>255.255.255.0</mask></item><item><ip>10.9.0.1</ip><mask>7.0.0.0</mask></"
           "item>"
           "</ipAddr></tcpIp><port><dataPort>9008</dataPort><httpPort>80</httpPort></port>"
           "</multicastSearchResult>";
}

class DiscoveryNetns : public nstest::PrivateNetnsTest {};

struct Collector {
    std::mutex mutex;
    std::set<std::string> found;
    static void Callback(const char* mac, int kind, const char*, void* context) {
        auto* self = static_cast<Collector*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (kind == 1)
            self->found.insert(mac);
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return found.size();
    }
};

TEST_F(DiscoveryNetns, TheSearchWaitsForTheNetworkAndStartsWhenItComesUp) {
    ASSERT_TRUE(nstest::CreateTestInterface("d0"));
    lanscout::Responder responder;
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    ASSERT_EQ(responder.Join("AA:BB:CC:00:00:01", Answer("KMX_IPC", "one", "192.168.1.2")),
              LANSCOUT_OK);

    Collector collector;
    discovery::DiscoveryOptions options;
    options.addLinkLocalRoute = false;
    discovery::DeviceDiscovery search(options);
    ASSERT_TRUE(search.Start(&Collector::Callback, &collector));
    std::this_thread::sleep_for(1200ms);  // two polls with only loopback running
    EXPECT_FALSE(search.SearchStarted());
    EXPECT_EQ(collector.Count(), 0u);

    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));
    for (int i = 0; i < 1000 && !search.SearchStarted(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(search.SearchStarted());
    for (int i = 0; i < 1000 && collector.Count() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(collector.Count(), 1u);
    search.Stop();
    responder.Stop();
}

TEST_F(DiscoveryNetns, StoppingWhileTheNetworkIsDownReturnsPromptly) {
    Collector collector;
    nstest::WatchedNetwork net;
    discovery::DiscoveryOptions options;
    options.net = &net;
    // A day between polls: a Stop that waited for the next one would hang.
    options.networkPollMs = testsupport::kLongWaitMs;
    discovery::DeviceDiscovery search(options);
    ASSERT_TRUE(search.Start(&Collector::Callback, &collector));
    ASSERT_TRUE(net.WaitAsked(1)) << "the network watch never asked about the network";
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("Stop while the network is down",
                                                   [&] { search.Stop(); }));
    EXPECT_FALSE(search.SearchStarted());
    EXPECT_EQ(net.Asked(), 1);  // only loopback runs: down all along
}

TEST_F(DiscoveryNetns, TheLinkLocalRouteGoesThroughTheFirstAdapter) {
    ASSERT_TRUE(nstest::CreateTestInterface("d0"));
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));
    // The test interface may come as a pair: the address goes to whichever
    // is first in the adapter list.
    std::vector<platform::AdapterInfo> adapters;
    ASSERT_EQ(platform::GetAdapterList(platform::Network(), adapters), platform::kNetOk);
    ASSERT_FALSE(adapters.empty());
    const std::string first = adapters.front().name;
    ASSERT_EQ(Shell("ip addr add 10.1.2.3/24 dev " + first), 0);
    EXPECT_EQ(discovery::AddLinkLocalRoute(discovery::Program::Cfgpush),
              "route ADD 169.254.0.0 MASK 255.255.0.0 10.1.2.3");
    EXPECT_NE(Capture("ip -4 route show 169.254.0.0/16").find("dev " + first), std::string::npos);
    // Once more: the route is there already, which is fine.
    EXPECT_EQ(discovery::AddLinkLocalRoute(discovery::Program::Fwbatch),
              "route add 169.254.0.0 mask 255.255.0.0 10.1.2.3");
}

// ---- camprep discover ------------------------------------------------------

struct ProgramRun {
    int status = -1;
    std::string out;
};

ProgramRun Camprep(const std::string& args) {
    ProgramRun r;
    const std::string command = std::string(CAMPREP_BINARY) + " " + args + " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return r;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST_F(DiscoveryNetns, CamprepDiscoverListsEachDeviceOnceAsJson) {
    ASSERT_TRUE(nstest::CreateTestInterface("d0"));
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));
    lanscout::Responder responder;
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    for (int i = 1; i <= 5; ++i) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "AA:BB:CC:00:00:%02d", i);
        ASSERT_EQ(responder.Join(mac, Answer(i == 5 ? "ACME" : "KMX_IPC", "cam" + std::to_string(i),
                                             "192.168.1." + std::to_string(i))),
                  LANSCOUT_OK);
    }
    const ProgramRun run = Camprep("discover --json --timeout 2.5");
    ASSERT_EQ(run.status, 0) << run.out;
    const nlohmann::json devices = nlohmann::json::parse(run.out);
    ASSERT_EQ(devices.size(), 4u);  // the ACME device is not of the series
    std::set<std::string> macs;
    for (const auto& d : devices) {
        macs.insert(d["mac"].get<std::string>());
        EXPECT_EQ(d["version"], "3.4.2.7(12)");
        EXPECT_EQ(d["data_port"], 9008);
        EXPECT_EQ(d["http_port"], 80);
        EXPECT_EQ(d["addresses"].size(), 2u);
        EXPECT_EQ(d["build_date"], "2024-01-02");
        EXPECT_EQ(d["kernel_version"], "4.9");
        EXPECT_EQ(d["activation"], 0);
        EXPECT_EQ(d["model"], "IPC-T1");
    }
    EXPECT_EQ(macs.size(), 4u);

    // Another series text takes the other device; none at all gives 1.
    const ProgramRun acme = Camprep("discover --json --timeout 2 --series ACME --interface lo");
    ASSERT_EQ(acme.status, 0);
    EXPECT_EQ(nlohmann::json::parse(acme.out).size(), 1u);
    const ProgramRun none = Camprep("discover --timeout 1.5 --series NOTHING");
    EXPECT_EQ(none.status, 1);
    responder.Stop();
}

TEST(CamprepDiscoverUsage, BadUsageExitsWithTwo) {
    EXPECT_EQ(Camprep("discover --timeout").status, 2);
    EXPECT_EQ(Camprep("discover --no-such-option").status, 2);
    EXPECT_EQ(Camprep("discover --timeout -3").status, 2);
    EXPECT_EQ(Camprep("").status, 2);
}

}  // namespace
