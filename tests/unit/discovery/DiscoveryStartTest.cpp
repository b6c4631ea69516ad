#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "common/platform/Diagnostics.h"
#include "discovery/DeviceDiscovery.h"
#include "discovery/LinkLocalRoute.h"
#include "discovery/NetworkWatch.h"
#include "tests/support/HangGuard.h"

namespace {

using namespace std::chrono_literals;
using discovery::Program;

struct FakeNetwork : platform::NetworkPlatform {
    std::vector<platform::AdapterInfo> adapters;
    std::atomic<bool> alive{false};
    std::vector<platform::Ipv4Route> routes;
    int adaptersResult = platform::kNetOk;
    int GetAdapters(std::vector<platform::AdapterInfo>& out) override {
        out = adapters;
        return adaptersResult;
    }
    bool IsNetworkAlive() override { return alive; }
    int AddIPAddress(uint32_t, uint32_t, uint32_t) override { return platform::kNetOk; }
    int AddRoute(const platform::Ipv4Route& r) override {
        routes.push_back(r);
        return platform::kNetOk;
    }
    bool IsPhysicalAdapter(const std::string&) override { return true; }

    void AddAdapter(const char* name, uint32_t index, const char* address, bool loopback = false) {
        platform::AdapterInfo a;
        a.name = name;
        a.index = index;
        a.loopback = loopback;
        a.up = a.running = true;
        if (address != nullptr)
            a.addresses.push_back({inet_addr(address), inet_addr("255.255.255.0")});
        adapters.push_back(a);
    }
};

TEST(LinkLocalRoute, CommandTextOfBothPrograms) {
    EXPECT_EQ(discovery::LinkLocalRouteCommand(Program::Fwbatch, "192.168.1.10"),
              "route add 169.254.0.0 mask 255.255.0.0 192.168.1.10");
    EXPECT_EQ(discovery::LinkLocalRouteCommand(Program::Cfgpush, "192.168.1.10"),
              "route ADD 169.254.0.0 MASK 255.255.0.0 192.168.1.10");
    EXPECT_EQ(discovery::LinkLocalRouteCommand(Program::Cfgpush, ""),
              "route ADD 169.254.0.0 MASK 255.255.0.0 ");
}

TEST(LinkLocalRoute, TheFirstAdapterGivesTheAddressAndTheInterface) {
    FakeNetwork net;
    net.AddAdapter("lo", 1, "127.0.0.1", true);  // not in the adapter list
    net.AddAdapter("eth0", 2, "192.168.1.10");
    net.AddAdapter("eth1", 3, "10.0.0.5");
    std::string diag;
    platform::SetDiagSink([&](const std::string& t) { diag += t; });
    EXPECT_EQ(discovery::AddLinkLocalRoute(Program::Fwbatch, net),
              "route add 169.254.0.0 mask 255.255.0.0 192.168.1.10");
    platform::SetDiagSink({});
    EXPECT_NE(diag.find("route add 169.254.0.0 mask 255.255.0.0 192.168.1.10"), std::string::npos);
    ASSERT_EQ(net.routes.size(), 1u);
    EXPECT_EQ(net.routes[0].destination, inet_addr("169.254.0.0"));
    EXPECT_EQ(net.routes[0].prefixLength, 16);
    EXPECT_EQ(net.routes[0].ifIndex, 2u);
}

TEST(LinkLocalRoute, NoAdapterGivesAnEmptyAddressAndNoRoute) {
    FakeNetwork none;
    EXPECT_EQ(discovery::AddLinkLocalRoute(Program::Cfgpush, none),
              "route ADD 169.254.0.0 MASK 255.255.0.0 ");
    EXPECT_TRUE(none.routes.empty());
    FakeNetwork failing;
    failing.AddAdapter("eth0", 2, "192.168.1.10");
    failing.adaptersResult = platform::kNetSystemError;
    EXPECT_EQ(discovery::AddLinkLocalRoute(Program::Fwbatch, failing),
              "route add 169.254.0.0 mask 255.255.0.0 ");
    FakeNetwork noAddress;
    noAddress.AddAdapter("eth0", 2, nullptr);
    EXPECT_EQ(discovery::AddLinkLocalRoute(Program::Fwbatch, noAddress),
              "route add 169.254.0.0 mask 255.255.0.0 ");
    EXPECT_TRUE(noAddress.routes.empty());
}

TEST(NetworkWatch, StartsOnceWhenTheNetworkComesUpAndStopsPromptlyWhileDown) {
    std::atomic<bool> alive{false};
    std::atomic<int> starts{0};
    std::atomic<int> asked{0};
    discovery::NetworkWatch watch;
    ASSERT_TRUE(watch.Start(
        [&] {
            ++asked;
            return alive.load();
        },
        [&] { ++starts; }, 20));
    EXPECT_FALSE(watch.Start([] { return true; }, [] {}, 20));  // one thread at a time
    while (asked < 3)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(starts.load(), 0);
    EXPECT_FALSE(watch.Started());
    alive = true;
    for (int i = 0; i < 5000 && !watch.Started(); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(watch.Started());
    watch.Stop();
    EXPECT_EQ(starts.load(), 1);

    // Stopping while the network is down, with a day's poll interval, does
    // not wait for the interval (a Stop that did would hang).
    discovery::NetworkWatch down;
    std::atomic<int> downAsked{0};
    down.Start(
        [&] {
            ++downAsked;
            return false;
        },
        [&] { ++starts; }, testsupport::kLongWaitMs);
    for (int i = 0; i < 60000 && downAsked < 1; ++i)  // then it sleeps until the next poll
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(downAsked.load(), 1) << "the watch never asked about the network";
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("Stop during the poll interval",
                                                   [&] { down.Stop(); }));
    EXPECT_FALSE(down.Started());
    EXPECT_EQ(downAsked.load(), 1);
    EXPECT_EQ(starts.load(), 1);
}

TEST(DeviceDiscovery, SearchIntervalsOfTheTwoPrograms) {
    EXPECT_EQ(discovery::SearchInterval(Program::Cfgpush), 1);
    EXPECT_EQ(discovery::SearchInterval(Program::Fwbatch), 5);
}

}  // namespace
