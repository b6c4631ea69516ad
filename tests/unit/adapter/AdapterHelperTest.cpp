// The adapter helper: what it accepts (its arguments against an adapter
// list), the line it answers a probe with, and the caller's side (the
// capture and the network that go through it) against a stand-in helper,
// a shell script that answers as the helper does and notes its arguments.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fwbatch/adapter/AdapterHelper.h"
#include "fwbatch/adapter/HelperRequest.h"

namespace {

using namespace fwbatch::adapter;

uint32_t Ip(const char* text) {
    return inet_addr(text);
}

platform::AdapterInfo Adapter(const char* name, uint32_t index, bool up, bool loopback,
                              std::vector<platform::AdapterAddress> addresses = {}) {
    platform::AdapterInfo a;
    a.name = name;
    a.index = index;
    a.hardwareAddress = {0x02, 0x11, 0x22, 0x33, 0x44, static_cast<uint8_t>(index)};
    a.addresses = std::move(addresses);
    a.up = up;
    a.loopback = loopback;
    return a;
}

// lo; eth0 up in 192.168.1.0/24; eth1 down; eth2 up without an address.
std::vector<platform::AdapterInfo> Adapters() {
    return {Adapter("lo", 1, true, true, {{Ip("127.0.0.1"), Ip("255.0.0.0")}}),
            Adapter("eth0", 2, true, false, {{Ip("192.168.1.10"), Ip("255.255.255.0")}}),
            Adapter("eth1", 3, false, false), Adapter("eth2", 4, true, false)};
}

TEST(HelperRequest, OnlyAnInterfaceUpAnAddressAndAMask) {
    struct Case {
        std::vector<std::string> args;
        const char* problem;  // empty: accepted
    };
    const Case cases[] = {
        {{"probe", "eth2", "10.88.5.20"}, ""},
        {{"add", "eth2", "10.88.5.77", "255.255.255.0"}, ""},
        {{"add", "eth2", "10.0.0.9", "255.0.0.0"}, ""},
        {{"probe", "eth2"}, "expected"},
        {{"probe", "eth2", "10.88.5.20", "255.255.255.0"}, "expected"},
        {{"add", "eth2", "10.88.5.77"}, "expected"},
        {{"route", "eth2", "10.88.5.77", "255.255.255.0"}, "expected"},
        {{"probe", "eth9", "10.88.5.20"}, "no interface"},
        {{"probe", "eth2 ", "10.88.5.20"}, "no interface"},
        {{"probe", "lo", "10.88.5.20"}, "loopback"},
        {{"add", "eth1", "10.88.5.77", "255.255.255.0"}, "down"},
        {{"probe", "eth2", "10.88.5.020"}, "not a unicast"},
        {{"probe", "eth2", "10.88.5.20 "}, "not a unicast"},
        {{"probe", "eth2", "127.0.0.5"}, "not a unicast"},
        {{"probe", "eth2", "169.254.3.4"}, "not a unicast"},
        {{"probe", "eth2", "224.0.0.251"}, "not a unicast"},
        {{"probe", "eth2", "0.1.2.3"}, "not a unicast"},
        {{"add", "eth2", "10.88.5.77", "255.0.255.0"}, "not a network mask"},
        {{"add", "eth2", "10.88.5.77", "255.255.255.254"}, "not a network mask"},
        {{"add", "eth2", "10.88.5.77", "254.0.0.0"}, "not a network mask"},
        {{"add", "eth2", "10.88.5.0", "255.255.255.0"}, "network or broadcast"},
        {{"add", "eth2", "10.88.5.255", "255.255.255.0"}, "network or broadcast"},
        // eth0 is in that subnet: nothing to prepare, so nothing to add
        {{"add", "eth2", "192.168.1.77", "255.255.255.0"}, "already"},
    };
    for (const Case& c : cases) {
        HelperRequest request;
        const std::string problem = ReadHelperRequest(c.args, Adapters(), request);
        std::string line;
        for (const std::string& a : c.args) {
            line += "[" + a + "]";
        }
        if (c.problem[0] == '\0') {
            EXPECT_EQ(problem, "") << line;
            EXPECT_EQ(request.adapter.name, c.args[1]) << line;
            EXPECT_EQ(request.address, Ip(c.args[2].c_str())) << line;
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << line << ": " << problem;
        }
    }
}

TEST(HelperRequest, TheProbeLineNamesWhoAnswered) {
    const MacAddress camera = {0x02, 0x53, 0x49, 0x4D, 0x00, 0x09};
    const std::string answered = ProbeAnswerText("eth2", Ip("10.88.5.20"), true, camera);
    EXPECT_EQ(answered, "probe 10.88.5.20 on eth2: answered by 02:53:49:4D:00:09");
    MacAddress read{};
    EXPECT_TRUE(ReadProbeAnswer(answered + "\n", read));
    EXPECT_EQ(read, camera);
    for (const std::string& none : {ProbeAnswerText("eth2", Ip("10.88.5.20"), false, camera),
                                    std::string(""), std::string("added 10.88.5.20/24 to eth2"),
                                    std::string("probe 10.88.5.20 on eth2: answered by someone")}) {
        EXPECT_FALSE(ReadProbeAnswer(none, read)) << none;
    }
}

// A stand-in helper: answers a probe for .20 with the camera's MAC, any
// other probe with none, and ends an add with the status in STATUS.
class HelperCaller : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = ::testing::TempDir() + "helper" + std::to_string(getpid());
        mkdir(m_folder.c_str(), 0700);
        const std::string helper = m_folder + "/camprep-adapter-helper";
        std::ofstream script(helper);
        script
            << "#!/bin/sh\n"
               "echo \"$*\" >> "
            << m_folder
            << "/calls\n"
               "case \"$1 $3\" in\n"
               "  'probe 10.88.5.20') echo \"probe $3 on $2: answered by 02:53:49:4D:00:09\" ;;\n"
               "  probe*) echo \"probe $3 on $2: no answer\" ;;\n"
               "  add*) exit $(cat "
            << m_folder
            << "/status) ;;\n"
               "esac\n";
        script.close();
        chmod(helper.c_str(), 0700);
        setenv("CAMPREP_ADAPTER_HELPER", helper.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("CAMPREP_ADAPTER_HELPER");
        std::system(("rm -rf " + m_folder).c_str());
    }
    std::string Calls() {
        std::ifstream in(m_folder + "/calls");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void SetStatus(int status) { std::ofstream(m_folder + "/status") << status << "\n"; }

    std::string m_folder;
};

TEST_F(HelperCaller, AProbeIsAnsweredAsTheFrameItStandsFor) {
    ASSERT_EQ(CheckHelperAccess(), HelperAccess::kUsable);  // root may run it
    const MacAddress self = {0x02, 0x11, 0x22, 0x33, 0x44, 0x04};
    const MacAddress camera = {0x02, 0x53, 0x49, 0x4D, 0x00, 0x09};
    struct Case {
        const char* target;
        bool answered;
    };
    for (const Case& c : {Case{"10.88.5.20", true}, Case{"10.88.5.21", false}}) {
        std::unique_ptr<platform::CaptureHandle> handle;
        std::string error;
        ASSERT_EQ(HelperCapture().Open("eth2", {}, handle, error), platform::kCaptureOk) << error;
        const ArpProbeFrame probe = BuildArpProbe(self, Ip(c.target));
        EXPECT_FALSE(handle->Send(probe.data(), probe.size() - 1));  // not a probe: not sent
        ASSERT_TRUE(handle->Send(probe.data(), probe.size()));
        EXPECT_FALSE(handle->Send(probe.data(), probe.size()));  // one probe a capture
        const uint8_t* frame = nullptr;
        size_t length = 0;
        if (c.answered) {
            ASSERT_EQ(handle->Next(frame, length), 1);
            EXPECT_TRUE(IsArpAnswerFrom(frame, length, Ip(c.target), camera));
        }
        EXPECT_LT(handle->Next(frame, length), 0) << c.target;  // the helper waited already
    }
    EXPECT_EQ(Calls(), "probe eth2 10.88.5.20\nprobe eth2 10.88.5.21\n");
}

class OneAdapterNetwork : public platform::NetworkPlatform {
public:
    int GetAdapters(std::vector<platform::AdapterInfo>& adapters) override {
        adapters = Adapters();
        return platform::kNetOk;
    }
    bool IsNetworkAlive() override { return true; }
    int AddIPAddress(uint32_t, uint32_t, uint32_t) override { return platform::kNetSystemError; }
    int AddRoute(const platform::Ipv4Route&) override { return platform::kNetOk; }
    bool IsPhysicalAdapter(const std::string&) override { return true; }
};

TEST_F(HelperCaller, AnAddGoesToTheHelperByInterfaceName) {
    OneAdapterNetwork system;
    platform::ScopedNetwork installed(system);
    const struct {
        int helperStatus;
        int result;
    } cases[] = {{kHelperDone, platform::kNetOk},
                 {kHelperAlreadyThere, platform::kNetAlreadyExists},
                 {kHelperNotInGroup, platform::kNetPermissionDenied},
                 {kHelperUsage, platform::kNetInvalidArgument},
                 {kHelperRefused, platform::kNetSystemError}};
    for (const auto& c : cases) {
        SetStatus(c.helperStatus);
        EXPECT_EQ(HelperNetwork().AddIPAddress(4, Ip("10.88.5.77"), Ip("255.255.255.0")), c.result)
            << c.helperStatus;
    }
    EXPECT_EQ(HelperNetwork().AddIPAddress(9, Ip("10.88.5.77"), Ip("255.255.255.0")),
              platform::kNetNoSuchAdapter);
    EXPECT_EQ(Calls().find("add eth2 10.88.5.77 255.255.255.0\n"), 0u) << Calls();
    std::vector<platform::AdapterInfo> listed;
    EXPECT_EQ(HelperNetwork().GetAdapters(listed), platform::kNetOk);  // reads need no helper
    EXPECT_EQ(listed.size(), 4u);
}

TEST_F(HelperCaller, WithoutTheHelperNothingIsCapturedOrAdded) {
    OneAdapterNetwork system;
    platform::ScopedNetwork installed(system);
    setenv("CAMPREP_ADAPTER_HELPER", (m_folder + "/none").c_str(), 1);
    EXPECT_EQ(CheckHelperAccess(), HelperAccess::kMissing);
    std::unique_ptr<platform::CaptureHandle> handle;
    std::string error;
    EXPECT_EQ(HelperCapture().Open("eth2", {}, handle, error), platform::kCapturePermissionDenied);
    EXPECT_EQ(HelperNetwork().AddIPAddress(4, Ip("10.88.5.77"), Ip("255.255.255.0")),
              platform::kNetPermissionDenied);
}

}  // namespace
