// The Linux network platform against interfaces, addresses and routes that
// each test makes in its own private network namespace. The expected values
// come from the test's own `ip` commands and from if_nametoindex.

#include <arpa/inet.h>
#include <net/if.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/platform/HostAddresses.h"
#include "common/platform/LinuxNetworkPlatform.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace {

using nstest::Capture;
using nstest::Shell;

uint32_t Ip(const char* text) {
    return inet_addr(text);
}

const platform::AdapterInfo* Find(const std::vector<platform::AdapterInfo>& list,
                                  const std::string& name) {
    for (const auto& adapter : list) {
        if (adapter.name == name) {
            return &adapter;
        }
    }
    return nullptr;
}

class LinuxNetworkNetns : public nstest::PrivateNetnsTest {
protected:
    void SetUp() override {
        nstest::PrivateNetnsTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(nstest::CreateTestInterface("d0"));
    }
    platform::LinuxNetworkPlatform m_net;
};

TEST_F(LinuxNetworkNetns, AdapterListShowsTheInterfacesWithIndexMacAndAddresses) {
    ASSERT_EQ(Shell("ip link set d0 address 02:11:22:33:44:55"), 0);
    ASSERT_EQ(Shell("ip addr add 10.66.0.5/24 dev d0"), 0);
    ASSERT_EQ(Shell("ip addr add 10.67.1.9/16 dev d0"), 0);  // a second subnet, added after
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));

    std::vector<platform::AdapterInfo> all;
    ASSERT_EQ(m_net.GetAdapters(all), platform::kNetOk);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].name, "lo");  // kernel order: loopback is interface 1
    EXPECT_TRUE(all[0].loopback);
    ASSERT_EQ(all[0].addresses.size(), 1u);
    EXPECT_EQ(all[0].addresses[0].address, Ip("127.0.0.1"));
    EXPECT_EQ(all[0].addresses[0].mask, Ip("255.0.0.0"));

    const platform::AdapterInfo* d0 = Find(all, "d0");
    ASSERT_NE(d0, nullptr);
    EXPECT_EQ(d0->index, if_nametoindex("d0"));
    EXPECT_EQ(d0->hardwareAddress, (std::array<uint8_t, 6>{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_TRUE(d0->up);
    EXPECT_FALSE(d0->loopback);
    ASSERT_EQ(d0->addresses.size(), 2u);
    EXPECT_EQ(d0->addresses[0].address, Ip("10.66.0.5"));
    EXPECT_EQ(d0->addresses[0].mask, Ip("255.255.255.0"));
    EXPECT_EQ(d0->addresses[1].address, Ip("10.67.1.9"));
    EXPECT_EQ(d0->addresses[1].mask, Ip("255.255.0.0"));

    std::vector<platform::AdapterInfo> list;
    ASSERT_EQ(platform::GetAdapterList(m_net, list), platform::kNetOk);
    EXPECT_EQ(Find(list, "lo"), nullptr);
    EXPECT_NE(Find(list, "d0"), nullptr);

    std::array<uint8_t, 6> mac{};
    EXPECT_TRUE(platform::FindHardwareAddress(m_net, Ip("10.67.1.9"), mac));
    EXPECT_EQ(mac[5], 0x55);
    EXPECT_FALSE(platform::FindHardwareAddress(m_net, Ip("10.66.0.6"), mac));

    // The host's own addresses: interface order, loopback left out.
    const std::vector<std::string> own = {"10.66.0.5", "10.67.1.9"};
    EXPECT_EQ(platform::HostIPv4Addresses(), own);
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", false));
    EXPECT_TRUE(platform::HostIPv4Addresses().empty());
}

TEST_F(LinuxNetworkNetns, AnAddressWithALabelBelongsToItsInterface) {
    ASSERT_EQ(Shell("ip addr add 10.68.0.1/24 dev d0 label d0:7"), 0);
    std::vector<platform::AdapterInfo> all;
    ASSERT_EQ(m_net.GetAdapters(all), platform::kNetOk);
    const platform::AdapterInfo* d0 = Find(all, "d0");
    ASSERT_NE(d0, nullptr);
    ASSERT_EQ(d0->addresses.size(), 1u);
    EXPECT_EQ(d0->addresses[0].address, Ip("10.68.0.1"));
    EXPECT_EQ(Find(all, "d0:7"), nullptr);
}

TEST_F(LinuxNetworkNetns, NetworkAliveOnlyWithANonLoopbackInterfaceUpAndRunning) {
    EXPECT_FALSE(m_net.IsNetworkAlive());  // loopback up, d0 down
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));
    EXPECT_TRUE(m_net.IsNetworkAlive());
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", false));
    EXPECT_FALSE(m_net.IsNetworkAlive());
}

TEST_F(LinuxNetworkNetns, AddsAnAddressOnceAndReportsClearErrors) {
    const uint32_t index = if_nametoindex("d0");
    ASSERT_NE(index, 0u);
    EXPECT_EQ(m_net.AddIPAddress(index, Ip("10.55.0.9"), Ip("255.255.255.0")), platform::kNetOk);
    const std::string shown = Capture("ip -o -4 addr show dev d0");
    EXPECT_NE(shown.find("inet 10.55.0.9/24 brd 10.55.0.255"), std::string::npos) << shown;

    EXPECT_EQ(m_net.AddIPAddress(index, Ip("10.55.0.9"), Ip("255.255.255.0")),
              platform::kNetAlreadyExists);
    EXPECT_EQ(platform::AddIPAddressByName(m_net, "d0", Ip("10.56.0.1"), Ip("255.255.0.0")),
              platform::kNetOk);
    EXPECT_NE(Capture("ip -o -4 addr show dev d0").find("inet 10.56.0.1/16"), std::string::npos);

    EXPECT_EQ(m_net.AddIPAddress(index + 100, Ip("10.57.0.1"), Ip("255.255.0.0")),
              platform::kNetNoSuchAdapter);
    EXPECT_EQ(platform::AddIPAddressByName(m_net, "nosuch0", Ip("10.57.0.1"), Ip("255.255.0.0")),
              platform::kNetNoSuchAdapter);
    EXPECT_EQ(m_net.AddIPAddress(index, Ip("10.57.0.1"), Ip("255.0.255.0")),
              platform::kNetInvalidArgument);
    EXPECT_EQ(m_net.AddIPAddress(index, 0, Ip("255.255.0.0")), platform::kNetInvalidArgument);
    EXPECT_EQ(m_net.AddIPAddress(0, Ip("10.57.0.1"), Ip("255.255.0.0")),
              platform::kNetInvalidArgument);

    // What was added is what the adapter list reports.
    std::vector<platform::AdapterInfo> all;
    ASSERT_EQ(m_net.GetAdapters(all), platform::kNetOk);
    const platform::AdapterInfo* d0 = Find(all, "d0");
    ASSERT_NE(d0, nullptr);
    ASSERT_EQ(d0->addresses.size(), 2u);
    EXPECT_EQ(d0->addresses[0].address, Ip("10.55.0.9"));
    EXPECT_EQ(d0->addresses[1].mask, Ip("255.255.0.0"));
}

TEST_F(LinuxNetworkNetns, AddsLinkAndGatewayRoutes) {
    ASSERT_EQ(Shell("ip addr add 10.55.0.9/24 dev d0"), 0);
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));
    const uint32_t index = if_nametoindex("d0");

    platform::Ipv4Route linkLocal;
    linkLocal.destination = Ip("169.254.0.0");
    linkLocal.prefixLength = 16;
    linkLocal.ifIndex = index;
    EXPECT_EQ(m_net.AddRoute(linkLocal), platform::kNetOk);
    std::string shown = Capture("ip -4 route show 169.254.0.0/16");
    EXPECT_NE(shown.find("169.254.0.0/16 dev d0"), std::string::npos) << shown;
    EXPECT_NE(shown.find("scope link"), std::string::npos) << shown;
    EXPECT_EQ(m_net.AddRoute(linkLocal), platform::kNetAlreadyExists);

    platform::Ipv4Route viaGateway;
    viaGateway.destination = Ip("10.123.0.0");
    viaGateway.prefixLength = 16;
    viaGateway.ifIndex = index;
    viaGateway.gateway = Ip("10.55.0.1");
    viaGateway.metric = 7;
    EXPECT_EQ(m_net.AddRoute(viaGateway), platform::kNetOk);
    shown = Capture("ip -4 route show 10.123.0.0/16");
    EXPECT_NE(shown.find("via 10.55.0.1 dev d0"), std::string::npos) << shown;
    EXPECT_NE(shown.find("metric 7"), std::string::npos) << shown;

    platform::Ipv4Route bad = linkLocal;
    bad.destination = Ip("169.254.1.0");  // host bits set for a /16
    EXPECT_EQ(m_net.AddRoute(bad), platform::kNetInvalidArgument);
    bad = linkLocal;
    bad.prefixLength = 33;
    EXPECT_EQ(m_net.AddRoute(bad), platform::kNetInvalidArgument);
    bad = linkLocal;
    bad.ifIndex = 0;
    EXPECT_EQ(m_net.AddRoute(bad), platform::kNetInvalidArgument);
    bad = linkLocal;
    bad.destination = Ip("172.30.0.0");
    bad.ifIndex = index + 100;
    EXPECT_EQ(m_net.AddRoute(bad), platform::kNetNoSuchAdapter);
}

TEST_F(LinuxNetworkNetns, VirtualInterfacesAreNotPhysical) {
    const std::string reason = nstest::RemountSysfs();
    if (!reason.empty()) {
        GTEST_SKIP() << "cannot show this namespace in sysfs: " << reason;
    }
    struct stat info {};
    // sysfs now shows this namespace's interfaces, so the test below looks
    // at the real entries of d0, not at missing ones.
    ASSERT_EQ(stat("/sys/class/net/d0", &info), 0);
    ASSERT_EQ(stat("/sys/class/net/lo", &info), 0);
    ASSERT_EQ(Shell("ip link add br7 type bridge"), 0);
    ASSERT_EQ(stat("/sys/class/net/br7", &info), 0);
    EXPECT_FALSE(m_net.IsPhysicalAdapter("lo"));
    EXPECT_FALSE(m_net.IsPhysicalAdapter("d0"));
    EXPECT_FALSE(m_net.IsPhysicalAdapter("br7"));
}

}  // namespace
