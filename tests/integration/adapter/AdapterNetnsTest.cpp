// Adapter preparation against real interfaces. Each test runs in a private
// network namespace of its own; its veth pairs end in a second namespace,
// the camera, whose real addresses make its kernel answer ARP. Expected
// values come from `ip`, tcpdump and the simulated camera.

#include <arpa/inet.h>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ProcessRun.h"
#include "common/platform/LinuxNetworkPlatform.h"
#include "fwbatch/adapter/AdapterPreparation.h"
#include "sim/Simulator.h"
#include "tests/integration/platform/PrivateNetns.h"

namespace {

using namespace fwbatch::adapter;
using nstest::Capture;
using nstest::Shell;

constexpr const char* kCameraMac = "02:53:49:4d:00:09";
constexpr const char* kOtherMac = "02:53:49:4d:00:0a";

uint32_t Ip(const char* text) {
    return inet_addr(text);
}

// sysfs shows no device behind a veth; here the test's veths stand for
// network cards.
class VethsArePhysical : public platform::LinuxNetworkPlatform {
public:
    bool IsPhysicalAdapter(const std::string& name) override {
        return name.rfind("vc", 0) == 0 || name.rfind("vx", 0) == 0;
    }
};

// Puts the calling thread into a named namespace while alive; sockets made
// meanwhile stay there.
class InNamespace {
public:
    explicit InNamespace(const std::string& name)
        : m_home(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
        const int target = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        m_entered = m_home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) {
            close(target);
        }
    }
    ~InNamespace() {
        if (m_entered) {
            setns(m_home, CLONE_NEWNET);
        }
        if (m_home >= 0) {
            close(m_home);
        }
    }
    InNamespace(const InNamespace&) = delete;
    InNamespace& operator=(const InNamespace&) = delete;
    bool Entered() const { return m_entered; }

private:
    int m_home;
    bool m_entered = false;
};

class AdapterNetns : public nstest::PrivateNetnsTest {
protected:
    void SetUp() override {
        nstest::PrivateNetnsTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_camera = "adcam" + std::to_string(getpid());
        ASSERT_EQ(Shell("ip netns add " + m_camera), 0);
        m_cameraMade = true;
        m_env.network = &m_net;
        // Generous limits: an answer on a veth takes microseconds, and
        // only the probes that get no answer wait them out.
        m_env.timing.searchReadTimeoutMs = 250;
        m_env.timing.inUseWindowMs = 2000;
    }
    void TearDown() override {
        if (m_cameraMade) {
            Shell("ip netns del " + m_camera);
        }
    }

    // A veth pair up at both ends: name here, name + "p" in the camera with
    // mac and addresses (CIDR texts).
    void Link(const std::string& name, const char* mac, const std::vector<std::string>& addresses) {
        const std::string peer = name + "p";
        const std::string there = "ip netns exec " + m_camera + " ";
        ASSERT_EQ(Shell("ip link add " + name + " type veth peer name " + peer), 0);
        ASSERT_EQ(Shell("ip link set " + peer + " netns " + m_camera), 0);
        ASSERT_EQ(Shell(there + "ip link set " + peer + " address " + mac), 0);
        for (const std::string& address : addresses) {
            ASSERT_EQ(Shell(there + "ip addr add " + address + " dev " + peer), 0);
        }
        ASSERT_EQ(Shell(there + "ip link set " + peer + " up"), 0);
        ASSERT_EQ(Shell("ip link set " + name + " up"), 0);
        bool carrier = false;
        for (int i = 0; i < 500 && !carrier;
             ++i) {  // a veth's carrier follows its peer a moment later
            carrier = Capture("ip -o link show " + name).find("LOWER_UP") != std::string::npos;
            usleep(carrier ? 0 : 10 * 1000);
        }
        ASSERT_TRUE(carrier) << name;
    }

    std::vector<platform::AdapterInfo> Adapters() {
        std::vector<platform::AdapterInfo> list;
        EXPECT_EQ(platform::GetAdapterList(m_net, list), platform::kNetOk);
        return list;
    }
    platform::AdapterInfo Adapter(const std::string& name) {
        for (const auto& adapter : Adapters()) {
            if (adapter.name == name) {
                return adapter;
            }
        }
        ADD_FAILURE() << "no adapter " << name;
        return {};
    }

    std::string m_camera;
    bool m_cameraMade = false;
    VethsArePhysical m_net;
    AdapterEnv m_env;
};

TEST_F(AdapterNetns, FindsTheAdapterWhosePeerIsTheCamera) {
    Link("vx0", kOtherMac,
         {});  // probed first; the camera's kernel answers there too, with another MAC
    Link("vc0", kCameraMac, {"10.88.5.20/24"});
    MacAddress camera{};
    ASSERT_TRUE(ParseMacText(kCameraMac, camera));
    const auto adapters = Adapters();
    const platform::AdapterInfo other = Adapter("vx0");
    ASSERT_TRUE(IsAddressInUse(Ip("10.88.5.20"), false, &other, m_env));

    const platform::AdapterInfo* found =
        FindAdapterForDevice(adapters, Ip("10.88.5.20"), camera, m_env);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "vc0");
    MacAddress stranger{};
    ASSERT_TRUE(ParseMacText("02:53:49:4d:00:0b", stranger));
    EXPECT_EQ(FindAdapterForDevice(adapters, Ip("10.88.5.20"), stranger, m_env), nullptr);
}

TEST_F(AdapterNetns, TakenAddressesAnswerAndTheWalkAvoidsThem) {
    Link("vc0", kCameraMac, {"10.88.7.2/29", "10.88.7.3/29", "10.88.7.4/29", "10.88.7.5/29"});
    ASSERT_EQ(Shell("ip addr add 10.88.7.1/29 dev vc0"), 0);  // the host's own
    const platform::AdapterInfo vc0 = Adapter("vc0");
    EXPECT_TRUE(IsAddressInUse(Ip("10.88.7.3"), false, &vc0, m_env));
    EXPECT_FALSE(IsAddressInUse(Ip("10.88.7.6"), false, &vc0, m_env));

    // Host parts 1..6: .1 is the host's, .2-.5 the camera's, .0 and .7
    // network and broadcast; every walk must end at .6.
    const std::vector<std::vector<uint32_t>> walks = {{1, 0}, {3, 0}, {5, 2}};
    for (const auto& walk : walks) {
        AdapterEnv env = m_env;
        size_t next = 0;
        env.random = [&] { return walk[next++ % walk.size()]; };
        EXPECT_EQ(ChooseFreeAddress(Ip("10.88.7.2"), Ip("255.255.255.248"), &vc0, env),
                  Ip("10.88.7.6"))
            << "start " << walk[0] << " step " << walk[1];
    }
    EXPECT_EQ(ChooseFreeAddress(Ip("10.88.7.2"), Ip("255.255.255.255"), &vc0, m_env), 0u);
    EXPECT_EQ(ChooseFreeAddress(Ip("10.88.7.2"), Ip("0.0.0.0"), &vc0, m_env), 0u);
}

TEST_F(AdapterNetns, LinkLocalAndLocalDevicesNeedNothing) {
    Link("vc0", kCameraMac, {"10.70.0.50/24"});
    ASSERT_EQ(Shell("ip addr add 10.70.0.1/24 dev vc0"), 0);
    const struct {
        const char* address;
        const char* mask;
        PrepareOutcome outcome;
    } cases[] = {{"169.254.7.7", "255.255.0.0", PrepareOutcome::kLinkLocal},
                 {"10.70.0.50", "255.255.255.0", PrepareOutcome::kAlreadyLocal}};
    for (const auto& c : cases) {
        SEARCH_DEVICE_INFO device{};
        std::snprintf(device.ip[1], sizeof device.ip[1], "%s", c.address);
        std::snprintf(device.mask[1], sizeof device.mask[1], "%s", c.mask);
        std::snprintf(device.mac, sizeof device.mac, "%s", kCameraMac);
        uint32_t use = 0;
        uint32_t added = 0;
        PrepareTrace trace;
        EXPECT_FALSE(PrepareAdapter(device, use, added, false, &trace, m_env)) << c.address;
        EXPECT_EQ(trace.outcome, c.outcome) << c.address;
        EXPECT_EQ(use, Ip(c.address));
    }
    const std::string shown = Capture("ip -o -4 addr show dev vc0");
    EXPECT_EQ(shown.find("inet ", shown.find("inet ") + 1), std::string::npos) << shown;
}

TEST_F(AdapterNetns, AForeignCameraIsReachedThroughTheAddressAdded) {
    Link("vx0", kOtherMac, {});
    Link("vc0", kCameraMac, {"10.88.5.20/24"});
    sim::DeviceConfig config = sim::DefaultDevice(0);
    config.identity.listenAddress = "10.88.5.20";
    config.identity.dataPort = 0;
    sim::Simulator simulator({config});
    {
        InNamespace camera(m_camera);
        ASSERT_TRUE(camera.Entered());
        std::string error;
        ASSERT_TRUE(simulator.Start(&error)) << error;
    }

    SEARCH_DEVICE_INFO device{};
    std::snprintf(device.ip[1], sizeof device.ip[1], "10.88.5.20");
    std::snprintf(device.mask[1], sizeof device.mask[1], "255.255.255.0");
    std::snprintf(device.mac, sizeof device.mac, "%s", kCameraMac);
    uint32_t use = 0;
    uint32_t added = 0;
    PrepareTrace trace;
    ASSERT_TRUE(PrepareAdapter(device, use, added, false, &trace, m_env))
        << PrepareOutcomeText(trace.outcome);
    EXPECT_EQ(trace.choice, AdapterChoice::kProbe);
    EXPECT_EQ(trace.adapter.name, "vc0");
    EXPECT_EQ(use, Ip("10.88.5.20"));
    const uint32_t host = ntohl(added) & 0xFFu;
    EXPECT_EQ(added & Ip("255.255.255.0"), Ip("10.88.5.0"));
    EXPECT_TRUE(host != 0 && host != 255 && host != 20) << platform::FormatIPv4(added);
    const std::string shown = Capture("ip -o -4 addr show dev vc0");
    EXPECT_NE(shown.find("inet " + platform::FormatIPv4(added) + "/24"), std::string::npos)
        << shown;
    ASSERT_TRUE(WaitForHostAddress(added, m_env));

    // The camera's service answers through the new address: its greeting arrives.
    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(sock, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = Ip("10.88.5.20");
    to.sin_port = htons(simulator.DataPort(0));
    EXPECT_EQ(connect(sock, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    pollfd watch{sock, POLLIN, 0};
    EXPECT_EQ(poll(&watch, 1, 10000), 1);
    uint8_t greeting[64];
    EXPECT_GT(recv(sock, greeting, sizeof greeting, 0), 0);
    close(sock);
}

TEST_F(AdapterNetns, TheProbeAsTcpdumpReadsIt) {
    Link("vc0", kCameraMac, {"10.88.5.20/24"});
    std::unique_ptr<CaptureHandle> listener;
    {
        InNamespace camera(m_camera);
        ASSERT_TRUE(camera.Entered());
        std::string error;
        CaptureOptions options;
        options.readTimeoutMs = 200;
        ASSERT_EQ(SystemCapture().Open("vc0p", options, listener, error), kCaptureOk) << error;
    }
    const platform::AdapterInfo vc0 = Adapter("vc0");
    AdapterEnv env = m_env;
    env.timing.inUseWindowMs = 100;
    IsAddressInUse(Ip("10.88.5.77"), false, &vc0, env);

    const uint8_t* frame = nullptr;
    size_t length = 0;
    bool seen = false;
    for (int read = 0; read < 50 && !seen; ++read) {  // at most 10 s
        seen = listener->Next(frame, length) == 1 && length > 21 && frame[21] == 1;
    }
    ASSERT_TRUE(seen);
    const std::string path = "/tmp/adapter-probe-" + std::to_string(getpid()) + ".pcap";
    {
        std::unique_ptr<pcap_t, void (*)(pcap_t*)> dead(pcap_open_dead(DLT_EN10MB, 65535),
                                                        pcap_close);
        pcap_dumper_t* dumper = pcap_dump_open(dead.get(), path.c_str());
        ASSERT_NE(dumper, nullptr);
        pcap_pkthdr header{};
        header.caplen = header.len = static_cast<bpf_u_int32>(length);
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame);
        pcap_dump_close(dumper);
    }
    const std::string decoded = Capture("tcpdump -e -n -r " + path + " 2>/dev/null");
    std::remove(path.c_str());
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", vc0.hardwareAddress[0],
                  vc0.hardwareAddress[1], vc0.hardwareAddress[2], vc0.hardwareAddress[3],
                  vc0.hardwareAddress[4], vc0.hardwareAddress[5]);
    EXPECT_NE(
        decoded.find(std::string(mac) + " > ff:ff:ff:ff:ff:ff, ethertype ARP (0x0806), length 60:"),
        std::string::npos)
        << decoded;
    EXPECT_NE(decoded.find("Request who-has 10.88.5.77 tell 0.0.0.0"), std::string::npos)
        << decoded;
}

TEST_F(AdapterNetns, CamprepAdapterPrepareSaysWhatItDid) {
    Link("vc0", kCameraMac, {"10.88.9.20/24"});
    const std::vector<std::string> prepare = {CAMPREP_BIN,     "adapter", "prepare",  "--mask",
                                              "255.255.255.0", "--mac",   kCameraMac, "--address"};
    const auto args = [&](std::vector<std::string> front, const char* address) {
        front.insert(front.end(), prepare.begin(), prepare.end());
        front.emplace_back(address);
        return front;
    };
    std::string setpriv = Capture("command -v setpriv");  // util-linux: runs camprep as nobody
    setpriv.erase(setpriv.find_last_not_of('\n') + 1);
    ASSERT_FALSE(setpriv.empty());
    const struct {
        std::vector<std::string> command;
        int status;
        std::vector<const char*> said;
    } cases[] = {
        {args({}, "10.88.9.20"),
         0,
         {"adapter: vc0", "added 10.88.9.", "reachable: 10.88.9.20 answers on vc0"}},
        {args({}, "10.88.9.20"), 0, {"already reachable"}},
        {args({}, "10.88.9.300"), 2, {}},
        {args({setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"}, "10.88.10.20"),
         1,
         {"packet capture: not permitted", "may not change network addresses"}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> rest(c.command.begin() + 1, c.command.end());
        const cli_test::ProcessResult run = cli_test::RunProcess(c.command.front(), rest);
        EXPECT_EQ(run.exitStatus, c.status) << run.out << run.err;
        for (const char* text : c.said) {
            EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
        }
    }
}

// The whole road from the command line: the search finds a camera in a
// subnet no adapter is in, the adapter gets an address, the upgrade goes
// through it.
TEST_F(AdapterNetns, UpgradeByDiscoveryReachesAForeignCamera) {
    Link("vc0", kCameraMac, {"10.88.7.20/24"});
    // The PC's own address lies in another subnet.
    ASSERT_EQ(Shell("ip addr add 10.99.0.1/24 dev vc0"), 0);
    sim::DeviceConfig config = sim::DefaultDevice(0);
    config.identity.mac = "02:53:49:4D:00:09";
    config.identity.listenAddress = "10.88.7.20";
    config.identity.softwareVer = "5.0.0.0";
    config.behaviour.pieceDelayMs = 0;
    config.behaviour.writeImageMs = 0;
    sim::SimulatorOptions options;
    options.answerSearch = true;
    options.searchInterfaces = {"vc0p"};
    sim::Simulator simulator({config}, options);
    {
        InNamespace camera(m_camera);
        ASSERT_TRUE(camera.Entered());
        std::string error;
        ASSERT_TRUE(simulator.Start(&error)) << error;
    }
    const cli_test::ProcessResult run = cli_test::RunProcess(
        CAMPREP_BIN, {"upgrade", "--discover", "--interface", "vc0", "--json", "--package",
                      std::string(CAMPREP_TEST_DATA_DIR) + "/fwbatch/sw_250.pkg"});
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("camprep upgrade: 02:53:49:4D:00:09: added 10.88.7."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/24 to vc0"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("\"result\": \"Upgraded successfully!\""), std::string::npos) << run.out;
    EXPECT_EQ(simulator.Records(0).imagesReceived, 1u);
}

}  // namespace
