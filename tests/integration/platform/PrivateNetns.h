#pragma once
// Test support: a private network namespace for the calling test, so that
// interfaces, addresses, routes and search traffic never touch the
// machine's own network. Linux only; needs root (CI runs as root).

#include <gtest/gtest.h>

#include <string>

namespace nstest {

// Moves the calling thread, and every thread and process it starts later,
// into a new network namespace and brings loopback up there. Returns the
// empty text on success, otherwise why not (the caller skips). Checks that
// the namespace really changed before it reports success.
std::string EnterPrivateNetns();

// Gives the calling thread a private mount namespace with sysfs mounted
// afresh, so that /sys/class/net lists the private namespace's interfaces.
// Returns the empty text on success, otherwise why not.
std::string RemountSysfs();

// Runs a shell command; returns its exit status (-1 when it could not run).
int Shell(const std::string& command);

// Runs a shell command and returns what it wrote to standard output.
std::string Capture(const std::string& command);

// Creates an Ethernet-like test interface: a dummy where the kernel offers
// them, otherwise a veth pair whose other end is name + "p". Left down.
bool CreateTestInterface(const std::string& name);

// Brings the test interface (and a veth's other end) up or down. A dummy or
// a veth pair with both ends up reports RUNNING.
bool SetTestInterfaceUp(const std::string& name, bool up);

// A fixture whose tests run in their own private network namespace.
class PrivateNetnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = EnterPrivateNetns();
        if (!reason.empty()) {
            GTEST_SKIP() << "no private network namespace: " << reason;
        }
    }
};

}  // namespace nstest
