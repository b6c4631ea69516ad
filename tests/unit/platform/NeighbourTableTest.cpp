// The hardware address of a neighbour, read from the kernel's table text,
// and how added devices' hardware addresses compare.
#include <gtest/gtest.h>

#include "common/platform/NetworkPlatform.h"

namespace {

// The layout of /proc/net/arp (net/ipv4/arp.c prints "%-16s 0x%-10x0x%-10x%-17s     %-9s %s").
constexpr char kTable[] =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.1.64     0x1         0x2         02:53:49:4d:00:01     *        eth0\n"
    "192.168.1.65     0x1         0x0         00:00:00:00:00:00     *        eth0\n"
    "192.168.1.66     0x1         0x6         aa:bb:cc:dd:ee:ff     *        eth1\n"
    "garbage\n";

TEST(NeighbourTable, OnlyCompleteEntriesOfThatAddressGiveAnAddress) {
    const struct {
        const char* address;
        const char* mac;
    } rows[] = {
        {"192.168.1.64", "02:53:49:4D:00:01"},  // complete: upper case
        {"192.168.1.65", ""},                   // incomplete (flags 0)
        {"192.168.1.66", "AA:BB:CC:DD:EE:FF"},  // complete and permanent
        {"192.168.1.67", ""},                   // no entry
        {"IP", ""},                             // the heading is no entry
    };
    for (const auto& row : rows) {
        uint32_t address = 0;
        platform::ParseIPv4(row.address, address);
        EXPECT_EQ(platform::FindNeighbourMac(kTable, address), row.mac) << row.address;
    }
    EXPECT_EQ(platform::FindNeighbourMac("", 1), "");
}

}  // namespace
