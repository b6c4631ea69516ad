// The network platform's pure parts and helpers, against a replaced
// platform and a fake sysfs tree: no namespace needed.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/platform/HostAddresses.h"
#include "common/platform/NetworkPlatform.h"
#ifndef _WIN32
#include "common/platform/LinuxNetworkPlatform.h"
#endif

namespace {

using platform::AdapterInfo;

uint32_t Ip(const char* text) {
    return inet_addr(text);
}

class FakeNetwork : public platform::NetworkPlatform {
public:
    std::vector<AdapterInfo> adapters;
    int listResult = platform::kNetOk;
    int GetAdapters(std::vector<AdapterInfo>& out) override {
        if (listResult == platform::kNetOk) {
            out = adapters;
        }
        return listResult;
    }
    bool IsNetworkAlive() override { return false; }
    int AddIPAddress(uint32_t, uint32_t, uint32_t) override { return platform::kNetOk; }
    int AddRoute(const platform::Ipv4Route&) override { return platform::kNetOk; }
    bool IsPhysicalAdapter(const std::string&) override { return false; }
};

AdapterInfo Adapter(const char* name, uint32_t index, uint8_t lastMacByte, bool up, bool loopback,
                    std::vector<platform::AdapterAddress> addresses) {
    AdapterInfo a;
    a.name = name;
    a.index = index;
    a.hardwareAddress = {0x02, 0, 0, 0, 0, lastMacByte};
    a.up = up;
    a.running = up;
    a.loopback = loopback;
    a.addresses = std::move(addresses);
    return a;
}

FakeNetwork ThreeAdapters() {
    FakeNetwork net;
    net.adapters.push_back(Adapter("lo", 1, 0, true, true, {{Ip("127.0.0.1"), Ip("255.0.0.0")}}));
    net.adapters.push_back(
        Adapter("eth0", 2, 0x10, true, false,
                {{Ip("192.168.1.10"), Ip("255.255.255.0")}, {Ip("10.0.0.7"), Ip("255.0.0.0")}}));
    net.adapters.push_back(
        Adapter("eth1", 3, 0x20, false, false, {{Ip("172.16.0.2"), Ip("255.255.0.0")}}));
    net.adapters.push_back(
        Adapter("eth2", 4, 0x30, true, false, {{Ip("192.168.1.10"), Ip("255.255.255.0")}}));
    return net;
}

TEST(AddressTexts, FormatAndParseAgreeWithTheCLibrary) {
    for (const char* text : {"0.0.0.0", "192.168.1.10", "255.255.255.255", "10.0.0.1"}) {
        uint32_t parsed = 0;
        ASSERT_TRUE(platform::ParseIPv4(text, parsed)) << text;
        EXPECT_EQ(parsed, inet_addr(text)) << text;
        EXPECT_EQ(platform::FormatIPv4(parsed), text);
    }
}

TEST(AddressTexts, ParseRefusesEverythingButFourDecimalParts) {
    uint32_t value = 12345;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "1..3.4",
                            "a.b.c.d", "1.2.3.0004", "1.2.3.-4", "1.2.3.4/24"}) {
        EXPECT_FALSE(platform::ParseIPv4(bad, value)) << '"' << bad << '"';
    }
    EXPECT_EQ(value, 12345u);  // untouched on failure
}

TEST(Masks, PrefixLengthsBothWays) {
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("255.255.255.0")), 24);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("255.255.0.0")), 16);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("255.255.255.255")), 32);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("0.0.0.0")), 0);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("255.255.255.254")), 31);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("255.0.255.0")), -1);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("0.255.255.255")), -1);
    EXPECT_EQ(platform::MaskToPrefixLength(Ip("255.255.255.1")), -1);
    for (int length = 1; length <= 32; ++length) {
        EXPECT_EQ(platform::MaskToPrefixLength(platform::PrefixLengthToMask(length)), length);
    }
    EXPECT_EQ(platform::PrefixLengthToMask(16), Ip("255.255.0.0"));
    EXPECT_EQ(platform::PrefixLengthToMask(0), 0u);
    EXPECT_EQ(platform::PrefixLengthToMask(33), 0u);
    EXPECT_EQ(platform::PrefixLengthToMask(-1), 0u);
}

TEST(NetResults, EveryCodeHasItsOwnText) {
    std::vector<std::string> texts;
    for (int code = platform::kNetOk; code <= platform::kNetSystemError; ++code) {
        texts.emplace_back(platform::NetResultText(code));
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        for (size_t j = i + 1; j < texts.size(); ++j) {
            EXPECT_NE(texts[i], texts[j]);
        }
    }
    EXPECT_STREQ(platform::NetResultText(999), "unknown result");
}

#ifndef _WIN32
// Linux's rule (Windows': WindowsPlatformTest.cpp).
TEST(InterfaceNames, ValidNamesOnly) {
    EXPECT_TRUE(platform::IsValidInterfaceName("eth0"));
    EXPECT_TRUE(platform::IsValidInterfaceName("enp0s31f6"));
    EXPECT_TRUE(platform::IsValidInterfaceName(std::string(15, 'a')));
    EXPECT_FALSE(platform::IsValidInterfaceName(std::string(16, 'a')));
    for (const char* bad : {"", ".", "..", "a/b", "eth0:1", "a b", "tab\t"}) {
        EXPECT_FALSE(platform::IsValidInterfaceName(bad)) << bad;
    }
}
#endif

TEST(AdapterHelpers, AdapterListLeavesLoopbackOutAndKeepsOrder) {
    FakeNetwork net = ThreeAdapters();
    std::vector<AdapterInfo> list;
    ASSERT_EQ(platform::GetAdapterList(net, list), platform::kNetOk);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "eth0");
    EXPECT_EQ(list[1].name, "eth1");
    EXPECT_EQ(list[2].name, "eth2");

    net.listResult = platform::kNetSystemError;
    EXPECT_EQ(platform::GetAdapterList(net, list), platform::kNetSystemError);
}

TEST(AdapterHelpers, HardwareAddressOfTheFirstAdapterHoldingTheAddress) {
    FakeNetwork net = ThreeAdapters();
    std::array<uint8_t, 6> mac{};
    // 192.168.1.10 is on eth0 and eth2: the first in interface order wins.
    ASSERT_TRUE(platform::FindHardwareAddress(net, Ip("192.168.1.10"), mac));
    EXPECT_EQ(mac[5], 0x10);
    ASSERT_TRUE(platform::FindHardwareAddress(net, Ip("10.0.0.7"), mac));  // a second address
    EXPECT_EQ(mac[5], 0x10);
    ASSERT_TRUE(platform::FindHardwareAddress(net, Ip("172.16.0.2"), mac));  // down is fine
    EXPECT_EQ(mac[5], 0x20);

    mac.fill(0xEE);
    EXPECT_FALSE(platform::FindHardwareAddress(net, Ip("192.168.1.11"), mac));
    EXPECT_EQ(mac, (std::array<uint8_t, 6>{}));

    net.listResult = platform::kNetSystemError;
    mac.fill(0xEE);
    EXPECT_FALSE(platform::FindHardwareAddress(net, Ip("192.168.1.10"), mac));
    EXPECT_EQ(mac, (std::array<uint8_t, 6>{}));
}

TEST(AdapterHelpers, IndexByNameAndAddingByName) {
    FakeNetwork net = ThreeAdapters();
    EXPECT_EQ(platform::FindAdapterIndex(net, "eth1"), 3u);
    EXPECT_EQ(platform::FindAdapterIndex(net, "eth9"), 0u);
    EXPECT_EQ(platform::FindAdapterIndex(net, ""), 0u);
    EXPECT_EQ(platform::AddIPAddressByName(net, "eth9", Ip("10.1.1.1"), Ip("255.0.0.0")),
              platform::kNetNoSuchAdapter);
    EXPECT_EQ(platform::AddIPAddressByName(net, "eth0", Ip("10.1.1.1"), Ip("255.0.0.0")),
              platform::kNetOk);
}

TEST(AdapterHelpers, HostAddressesAreUpNonLoopbackInInterfaceOrder) {
    FakeNetwork net = ThreeAdapters();
    const std::vector<std::string> expected = {"192.168.1.10", "10.0.0.7", "192.168.1.10"};
    EXPECT_EQ(platform::HostIPv4AddressesOf(net), expected);

    // The process-wide function goes through the installed platform.
    {
        platform::ScopedNetwork scoped(net);
        EXPECT_EQ(&platform::Network(), &net);
        EXPECT_EQ(platform::HostIPv4Addresses(), expected);
    }
    EXPECT_EQ(&platform::Network(), &platform::SystemNetwork());

    net.listResult = platform::kNetSystemError;
    EXPECT_TRUE(platform::HostIPv4AddressesOf(net).empty());
}

#ifndef _WIN32
TEST(PhysicalAdapter, DeviceEntryInSysfsDecides) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/camprep-sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    fs::create_directories(root / "class/net/eth9/device");
    fs::create_directories(root / "class/net/veth3");
    fs::create_directories(root / "devices/pci0000:00/net");
    // As in real sysfs: the device entry is a link to the device's directory.
    fs::create_directories(root / "class/net/eno1");
    fs::create_symlink(root / "devices/pci0000:00", root / "class/net/eno1/device");
    fs::create_directories(root / "class/net/gone0");
    fs::create_symlink(root / "devices/missing", root / "class/net/gone0/device");
    fs::create_directories(root / "device");  // reachable only through "..": must not count

    platform::LinuxNetworkPlatform net(root.string());
    EXPECT_TRUE(net.IsPhysicalAdapter("eth9"));
    EXPECT_TRUE(net.IsPhysicalAdapter("eno1"));
    EXPECT_FALSE(net.IsPhysicalAdapter("veth3"));
    EXPECT_FALSE(net.IsPhysicalAdapter("gone0"));  // dangling link
    EXPECT_FALSE(net.IsPhysicalAdapter("absent"));
    EXPECT_FALSE(net.IsPhysicalAdapter(".."));
    EXPECT_FALSE(net.IsPhysicalAdapter("../.."));
    EXPECT_FALSE(net.IsPhysicalAdapter(""));
    fs::remove_all(root);
}
#endif

}  // namespace
