// Adapter preparation's rules against a network and a packet capture that
// the tests stand in for, on a manual clock: the probe frame, the answers
// that count, the local-subnet test, the free-address walk, the wait for an
// added address and PrepareAdapter's decisions.

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/platform/ArpResolverCapture.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace {

using namespace fwbatch::adapter;

uint32_t Ip(const char* text) {
    return inet_addr(text);
}

MacAddress Mac(uint8_t last) {
    return {0x02, 0x11, 0x22, 0x33, 0x44, last};
}

// An ARP reply as a station sends it, written from the ARP layout.
std::vector<uint8_t> Reply(const MacAddress& from, uint32_t address, uint16_t etherType = 0x0806,
                           uint16_t operation = 2) {
    std::vector<uint8_t> f(60, 0);
    std::memcpy(&f[0], Mac(0x01).data(), 6);
    std::memcpy(&f[6], from.data(), 6);
    f[12] = static_cast<uint8_t>(etherType >> 8);
    f[13] = static_cast<uint8_t>(etherType);
    f[14] = 0, f[15] = 1, f[16] = 0x08, f[17] = 0, f[18] = 6, f[19] = 4;
    f[20] = static_cast<uint8_t>(operation >> 8);
    f[21] = static_cast<uint8_t>(operation);
    std::memcpy(&f[22], from.data(), 6);
    std::memcpy(&f[28], &address, 4);  // network byte order in memory
    return f;
}

class FakeNetwork : public platform::NetworkPlatform {
public:
    int GetAdapters(std::vector<platform::AdapterInfo>& out) override {
        if (++m_listCalls == m_appearOnCall) {
            m_adapters[0].addresses.push_back(m_appearing);
        }
        out = m_adapters;
        return platform::kNetOk;
    }
    bool IsNetworkAlive() override { return true; }
    int AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) override {
        m_added.push_back({ifIndex, address, mask});
        return m_addResult;
    }
    int AddRoute(const platform::Ipv4Route&) override { return platform::kNetOk; }
    bool IsPhysicalAdapter(const std::string& name) override { return m_physical.count(name) != 0; }

    struct Added {
        uint32_t index;
        uint32_t address;
        uint32_t mask;
    };
    std::vector<platform::AdapterInfo> m_adapters;
    std::set<std::string> m_physical;
    std::vector<Added> m_added;
    int m_addResult = platform::kNetOk;
    int m_listCalls = 0;
    int m_appearOnCall = -1;  // the list call on which m_appearing joins the first adapter
    platform::AdapterAddress m_appearing;
};

// Stations answer probes on a capture device; a read without an answer
// moves the manual clock by the read time-out.
class FakeCapture : public PacketCapture {
public:
    struct Station {
        std::string device;
        uint32_t address;  // 0: answers for every address
        MacAddress mac;
    };
    int FindAllDevices(std::vector<CaptureDevice>& devices, std::string&) override {
        devices.clear();
        for (const auto& name : m_devices) {
            devices.push_back({name, {}});
        }
        return kCaptureOk;
    }
    int Open(const std::string& device, const CaptureOptions& options,
             std::unique_ptr<CaptureHandle>& handle, std::string&) override {
        if (m_openResult == kCaptureOk) {
            handle = std::make_unique<Handle>(*this, device, options.readTimeoutMs);
        }
        return m_openResult;
    }

    std::vector<std::string> m_devices;
    std::vector<Station> m_stations;
    int m_openResult = kCaptureOk;
    bool m_sendFails = false;
    platform::ManualClock* m_clock = nullptr;
    int m_liveHandles = 0;

private:
    class Handle : public CaptureHandle {
    public:
        Handle(FakeCapture& owner, std::string device, int timeoutMs)
            : m_owner(owner), m_device(std::move(device)), m_timeoutMs(timeoutMs) {
            ++m_owner.m_liveHandles;
        }
        ~Handle() override { --m_owner.m_liveHandles; }
        bool Send(const uint8_t* frame, size_t length) override {
            uint32_t target = 0;
            std::memcpy(&target, frame + 38, 4);
            for (const auto& s : m_owner.m_stations) {
                if (s.device == m_device && (s.address == 0 || s.address == target)) {
                    m_answers.push_back(Reply(s.mac, target));
                }
            }
            return !m_owner.m_sendFails && length == kArpProbeSize;
        }
        int Next(const uint8_t*& frame, size_t& length) override {
            if (m_read == m_answers.size()) {
                m_owner.m_clock->Advance(static_cast<uint64_t>(m_timeoutMs));
                return 0;
            }
            frame = m_answers[m_read].data();
            length = m_answers[m_read++].size();
            return 1;
        }

    private:
        FakeCapture& m_owner;
        std::string m_device;
        int m_timeoutMs;
        std::vector<std::vector<uint8_t>> m_answers;
        size_t m_read = 0;
    };
};

platform::AdapterInfo Adapter(const char* name, uint32_t index, uint8_t macLast, bool up,
                              std::vector<platform::AdapterAddress> addresses = {}) {
    return {.name = name,
            .index = index,
            .hardwareAddress = Mac(macLast),
            .addresses = addresses,
            .up = up};
}

// eth0: up, virtual, 192.168.1.10/24. eth1: down, physical, 10.9.0.1/16 and
// 10.20.30.37/24.
// eth2 and eth3: up, physical, no address. Every one is a capture device.
class AdapterRules : public ::testing::Test {
protected:
    void SetUp() override {
        m_net.m_adapters = {
            Adapter("eth0", 2, 0x01, true, {{Ip("192.168.1.10"), Ip("255.255.255.0")}}),
            Adapter(
                "eth1", 3, 0x02, false,
                {{Ip("10.9.0.1"), Ip("255.255.0.0")}, {Ip("10.20.30.37"), Ip("255.255.255.0")}}),
            Adapter("eth2", 4, 0x03, true), Adapter("eth3", 5, 0x04, true)};
        m_net.m_physical = {"eth1", "eth2", "eth3"};
        m_net.m_added.clear();
        m_net.m_addResult = platform::kNetOk;
        m_capture = FakeCapture{};
        m_capture.m_devices = {"any", "eth0", "eth1", "eth2", "eth3"};
        m_capture.m_clock = &m_clock;
    }
    // Every path closes the captures it opened.
    void TearDown() override { EXPECT_EQ(m_capture.m_liveHandles, 0); }

    // random: the walk's start and step draws.
    AdapterEnv Env(std::vector<uint32_t> random = {37, 0}) {
        AdapterEnv env;
        env.network = &m_net;
        env.capture = &m_capture;
        env.clock = &m_clock;
        env.random = [random, n = size_t{0}]() mutable {
            return n < random.size() ? random[n++] : 0u;
        };
        return env;
    }

public:  // the table rows' setups change them
    FakeNetwork m_net;
    FakeCapture m_capture;
    platform::ManualClock m_clock;
};

TEST(ArpFrame, ProbeIsTheTabledSixtyBytes) {
    const uint8_t expected[60] = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // broadcast
        0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // source
        0x08, 0x06,                          // ARP
        0x00, 0x01, 0x08, 0x00, 0x06, 0x04,  // Ethernet, IPv4, lengths 6 and 4
        0x00, 0x01,                          // request
        0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // sender hardware address
        0x00, 0x00, 0x00, 0x00,              // sender 0.0.0.0
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // target hardware address
        0x0A, 0x58, 0x05, 0x14,              // 10.88.5.20
    };
    const ArpProbeFrame frame = BuildArpProbe(Mac(0x55), Ip("10.88.5.20"));
    EXPECT_EQ(0, std::memcmp(frame.data(), expected, sizeof expected));
}

TEST(ArpFrame, AnAnswerIsAReplyForTheAddressFromTheMac) {
    const uint32_t address = Ip("10.88.5.20");
    struct Case {
        const char* name;
        std::vector<uint8_t> frame;
        bool answer;
    };
    std::vector<uint8_t> shortFrame = Reply(Mac(0x09), address);
    shortFrame.resize(41);
    const Case cases[] = {
        {"reply from the camera", Reply(Mac(0x09), address), true},
        {"request", Reply(Mac(0x09), address, 0x0806, 1), false},
        {"not ARP", Reply(Mac(0x09), address, 0x0800), false},
        {"another address", Reply(Mac(0x09), Ip("10.88.5.21")), false},
        {"another station", Reply(Mac(0x0A), address), false},
        {"cut short", shortFrame, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsArpAnswerFrom(c.frame.data(), c.frame.size(), address, Mac(0x09)), c.answer)
            << c.name;
    }
}

TEST(ArpFrame, MacTexts) {
    for (const char* good : {"02:11:22:33:44:09", "02-11-22-33-44-09", "021122334409"}) {
        MacAddress mac{};
        EXPECT_TRUE(ParseMacText(good, mac) && mac == Mac(0x09)) << good;
    }
    for (const char* bad :
         {"02:11-22:33:44:09", "02:11:22:33:44", "02:11:22:33:44:0g", "+2:11:22:33:44:09", ""}) {
        MacAddress mac{};
        EXPECT_FALSE(ParseMacText(bad, mac)) << bad;
    }
}

TEST_F(AdapterRules, LocalSubnets) {
    struct Case {
        const char* address;
        const char* mask;
        bool local;
    };
    const Case cases[] = {
        {"192.168.1.200", "255.255.255.0", true},  // eth0's subnet
        {"192.168.2.200", "255.255.255.0", false},
        // each side under its own mask: local AND local mask = address AND mask
        {"192.168.1.5", "255.255.255.128", true},
        {"192.168.7.7", "255.255.0.0", false},
        {"10.9.3.3", "255.255.0.0", false},  // eth1's subnet, but eth1 is down
        {"0.0.0.0", "0.0.0.0", false},
        {"248.0.0.1", "0.0.0.0", false},
        {"255.255.255.255", "255.255.255.255", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsOnLocalSubnet(Ip(c.address), Ip(c.mask), Env()), c.local)
            << c.address << "/" << c.mask;
    }
}

// The host's own 10.20.30.37 (on eth1) is never chosen.
TEST_F(AdapterRules, FreeAddressWalk) {
    const uint8_t kStranger = 0x77;
    const uint8_t kItself = 0x03;  // eth2's own MAC
    struct Case {
        const char* name;
        const char* mask;
        std::vector<uint32_t> random;  // start, step
        std::vector<std::pair<const char*, uint8_t>>
            answers;         // address ("0.0.0.0": any) and who answers
        const char* chosen;  // nullptr: none
        int tests;
    };
    const Case cases[] = {
        {"own address skipped, step 0 moves by one",
         "255.255.255.0",
         {37, 0},
         {{"10.20.30.38", kStranger}},
         "10.20.30.39",
         3},
        {"the broadcast part is skipped, the walk wraps to 1",
         "255.255.255.248",
         {6, 0},
         {{"10.20.30.46", kStranger}},
         "10.20.30.41",
         2},
        {"a wider step wraps by the remainder",
         "255.255.255.248",
         {5, 2},
         {{"10.20.30.45", kStranger}, {"10.20.30.42", kStranger}},
         "10.20.30.44",
         3},
        {"start 0 becomes the middle", "255.255.255.0", {0, 0}, {}, "10.20.30.127", 1},
        {"the adapter's own answer does not count",
         "255.255.255.0",
         {50, 0},
         {{"0.0.0.0", kItself}},
         "10.20.30.50",
         1},
        {"all taken: back at the start",
         "255.255.255.252",
         {1, 0},
         {{"0.0.0.0", kStranger}},
         nullptr,
         2},
        {"all taken in a /16: at most 32 tests",
         "255.255.0.0",
         {1000, 7},
         {{"0.0.0.0", kStranger}},
         nullptr,
         32},
        {"/31 has no host part", "255.255.255.254", {1, 0}, {}, nullptr, 0},
        {"/32", "255.255.255.255", {1, 0}, {}, nullptr, 0},
        {"/0", "0.0.0.0", {1, 0}, {}, nullptr, 0},
        {"mask with a gap", "255.0.255.0", {1, 0}, {}, nullptr, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        for (const auto& [address, who] : c.answers) {
            m_capture.m_stations.push_back({"eth2", Ip(address), Mac(who)});
        }
        ProbeReport report;
        AdapterEnv env = Env(c.random);
        env.report = &report;
        EXPECT_EQ(ChooseFreeAddress(Ip("10.20.30.40"), Ip(c.mask), &m_net.m_adapters[2], env),
                  c.chosen != nullptr ? Ip(c.chosen) : 0u)
            << c.name;
        EXPECT_EQ(report.candidatesTested, c.tests) << c.name;
    }
}

TEST_F(AdapterRules, WaitForAnAddedAddress) {
    // The address shows on the n-th test (-1: never); tests are 100 ms apart, 80 at most.
    const struct {
        int appearsOnTest;
        uint64_t sleptMs;
    } cases[] = {{1, 0}, {5, 400}, {80, 7900}, {-1, 7900}};
    for (const auto& c : cases) {
        m_net.m_listCalls = 0;
        m_net.m_appearOnCall = c.appearsOnTest;
        m_net.m_appearing = {Ip("10.20.30.99"), Ip("255.255.255.0")};
        platform::ManualClock clock;
        AdapterEnv env = Env();
        env.clock = &clock;
        EXPECT_EQ(WaitForHostAddress(Ip("10.20.30.99"), env), c.appearsOnTest > 0)
            << c.appearsOnTest;
        EXPECT_EQ(clock.SleptMs(), c.sleptMs) << c.appearsOnTest;
        EXPECT_EQ(m_net.m_listCalls, c.appearsOnTest > 0 ? c.appearsOnTest : kAddressWaitTests);
        SetUp();
    }
}

TEST_F(AdapterRules, PrepareAdapterDecisions) {
    const char* kCamera = "02:11:22:33:44:09";
    struct Case {
        const char* name;
        const char* first;  // ip[0]/mask[0]
        const char* firstMask;
        struct {
            const char* address;
            const char* mask;
        } second;  // ip[1]/mask[1]
        bool firstAddressMode;
        std::function<void(AdapterRules&)> setup;
        PrepareOutcome outcome;
        AdapterChoice choice;
        const char* use;
        const char* added;  // nullptr: nothing added
        uint32_t addedToIndex;
    };
    const decltype(Case::second) kForeign = {"10.20.30.40", "255.255.255.0"};
    const auto cameraOnEth3 = [](AdapterRules& t) {
        t.m_capture.m_stations = {
            {"eth2", Ip("10.20.30.40"), Mac(0x0A)},  // someone else answers there
            {"eth3", Ip("10.20.30.40"), Mac(0x09)}};
    };
    const auto nothing = [](AdapterRules&) {};
    // Link-local, local-subnet and probe-found devices: see the namespace tests.
    const Case cases[] = {
        {"first address local", "192.168.1.50", "255.255.255.0", kForeign, true, nothing,
         PrepareOutcome::kFirstAddressLocal, AdapterChoice::kNone, "192.168.1.50", nullptr, 0},
        {"first address foreign: the second is prepared", "10.1.1.1", "255.255.255.0", kForeign,
         true, cameraOnEth3, PrepareOutcome::kAdded, AdapterChoice::kProbe, "10.20.30.40",
         "10.20.30.38", 5},
        {"no capture devices: first physical adapter that is up, first free candidate", "", "",
         kForeign, false, [](AdapterRules& t) { t.m_capture.m_devices.clear(); },
         PrepareOutcome::kAdded, AdapterChoice::kFirstPhysical, "10.20.30.40", "10.20.30.38", 4},
        {"a subnet on a down adapter is not local",
         "",
         "",
         {"10.9.5.5", "255.255.0.0"},
         false,
         nothing,
         PrepareOutcome::kAdded,
         AdapterChoice::kFirstPhysical,
         "10.9.5.5",
         "10.9.0.37",
         4},
        {"no physical adapter is up: the first that is up", "", "", kForeign, false,
         [](AdapterRules& t) { t.m_net.m_physical = {"eth1"}; }, PrepareOutcome::kAdded,
         AdapterChoice::kFirstInList, "10.20.30.40", "10.20.30.38", 2},
        {"capture not permitted", "", "", kForeign, false,
         [](AdapterRules& t) { t.m_capture.m_openResult = kCapturePermissionDenied; },
         PrepareOutcome::kAdded, AdapterChoice::kFirstPhysical, "10.20.30.40", "10.20.30.38", 4},
        {"probes cannot be sent", "", "", kForeign, false,
         [](AdapterRules& t) { t.m_capture.m_sendFails = true; }, PrepareOutcome::kAdded,
         AdapterChoice::kFirstPhysical, "10.20.30.40", "10.20.30.38", 4},
        {"adding not permitted", "", "", kForeign, false,
         [](AdapterRules& t) { t.m_net.m_addResult = platform::kNetPermissionDenied; },
         PrepareOutcome::kAddRefused, AdapterChoice::kFirstPhysical, "10.20.30.40", nullptr, 4},
        {"no adapter is up", "", "", kForeign, false,
         [](AdapterRules& t) {
             for (auto& a : t.m_net.m_adapters)
                 a.up = false;
         },
         PrepareOutcome::kNoAdapter, AdapterChoice::kNone, "10.20.30.40", nullptr, 0},
        {"loopback: the host itself", "", "", {"127.0.0.2", "255.0.0.0"}, false, nothing,
         PrepareOutcome::kLoopback, AdapterChoice::kNone, "127.0.0.2", nullptr, 0},
        {"address text unreadable",
         "",
         "",
         {"10.20.30", "255.255.255.0"},
         false,
         nothing,
         PrepareOutcome::kBadRecord,
         AdapterChoice::kNone,
         "0.0.0.0",
         nullptr,
         0},
    };
    for (const Case& c : cases) {
        SetUp();
        c.setup(*this);

        SEARCH_DEVICE_INFO device{};
        std::snprintf(device.ip[0], sizeof device.ip[0], "%s", c.first);
        std::snprintf(device.mask[0], sizeof device.mask[0], "%s", c.firstMask);
        std::snprintf(device.ip[1], sizeof device.ip[1], "%s", c.second.address);
        std::snprintf(device.mask[1], sizeof device.mask[1], "%s", c.second.mask);
        std::snprintf(device.mac, sizeof device.mac, "%s", kCamera);
        uint32_t use = 1;
        uint32_t added = 1;
        PrepareTrace trace;
        const bool result = PrepareAdapter(device, use, added, c.firstAddressMode, &trace, Env());

        EXPECT_EQ(result, c.added != nullptr) << c.name;
        EXPECT_EQ(trace.outcome, c.outcome) << c.name;
        EXPECT_EQ(trace.choice, c.choice) << c.name;
        EXPECT_EQ(platform::FormatIPv4(use), c.use) << c.name;
        EXPECT_EQ(added, c.added != nullptr ? Ip(c.added) : 0u) << c.name;
        if (c.added != nullptr) {
            ASSERT_EQ(m_net.m_added.size(), 1u) << c.name;
            EXPECT_EQ(m_net.m_added[0].index, c.addedToIndex) << c.name;
            EXPECT_EQ(m_net.m_added[0].mask, Ip(c.second.mask)) << c.name;
        }
        EXPECT_EQ(trace.probes.permissionDenied, c.name == std::string("capture not permitted"))
            << c.name;
        EXPECT_EQ(m_capture.m_liveHandles, 0) << c.name;
    }
}

// Windows' capture: the probes answered by the system's address resolution
// (SendARP there), a resolver the test stands in for. What adapter
// preparation concludes must be what raw frames would have told it.
class FakeResolver : public platform::ArpResolver {
public:
    bool Resolve(uint32_t target, uint32_t source, std::array<uint8_t, 6>& mac) override {
        m_asked.emplace_back(target, source);
        const auto station = m_stations.find(target);
        if (station == m_stations.end()) {
            return false;
        }
        mac = station->second;
        return true;
    }
    std::map<uint32_t, MacAddress> m_stations;
    std::vector<std::pair<uint32_t, uint32_t>> m_asked;  // target, source
};

TEST_F(AdapterRules, ProbesThroughTheSystemsAddressResolution) {
    m_net.m_adapters[3].addresses = {{Ip("10.88.5.1"), Ip("255.255.255.0")}};  // eth3
    FakeResolver resolver;
    resolver.m_stations = {{Ip("10.88.5.20"), Mac(0x09)},
                           {Ip("10.88.5.30"), Mac(0x0A)},
                           {Ip("10.88.5.1"), Mac(0x04)}};  // eth3 itself
    const std::unique_ptr<PacketCapture> capture =
        platform::MakeArpResolverCapture(resolver, &m_net);
    AdapterEnv env = Env();
    env.capture = capture.get();

    // Its devices are the adapters with an address, named as they are: an
    // adapter without one (eth2) cannot be asked from.
    std::vector<CaptureDevice> devices;
    std::string error;
    ASSERT_EQ(capture->FindAllDevices(devices, error), kCaptureOk);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[2].name, "eth3");
    EXPECT_EQ(devices[2].ipv4Addresses, std::vector<uint32_t>{Ip("10.88.5.1")});

    // The device's own MAC answers on eth3, asked from eth3's address (eth0
    // is not physical, eth1 is down).
    const platform::AdapterInfo* found =
        FindAdapterForDevice(m_net.m_adapters, Ip("10.88.5.20"), Mac(0x09), env);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "eth3");
    const std::vector<std::pair<uint32_t, uint32_t>> asked = {{Ip("10.88.5.20"), Ip("10.88.5.1")}};
    EXPECT_EQ(resolver.m_asked, asked);
    // Another station's answer is not the device's.
    EXPECT_EQ(FindAdapterForDevice(m_net.m_adapters, Ip("10.88.5.20"), Mac(0x0B), env), nullptr);

    struct Case {
        const char* address;
        bool inUse;
    };
    const Case cases[] = {
        {"10.88.5.30", true},   // another station answers
        {"10.88.5.31", false},  // nobody does
        {"10.88.5.1", false},   // only the adapter itself
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsAddressInUse(Ip(c.address), false, &m_net.m_adapters[3], env), c.inUse)
            << c.address;
    }
    // A resolution is the whole answer: nothing waits out read time-outs.
    EXPECT_EQ(m_clock.SleptMs(), 0u);
}

TEST(ResolverCapture, CarriesArpRequestsOnly) {
    FakeResolver resolver;
    resolver.m_stations = {{Ip("10.88.5.20"), Mac(0x09)}};
    platform::AdapterInfo lo = Adapter("lo", 1, 0x00, true, {{Ip("127.0.0.1"), Ip("255.0.0.0")}});
    lo.loopback = true;
    FakeNetwork net;
    net.m_adapters = {lo, Adapter("eth0", 2, 0x01, true, {{Ip("10.88.5.1"), Ip("255.255.255.0")}}),
                      Adapter("eth1", 3, 0x02, true)};
    const std::unique_ptr<PacketCapture> capture = platform::MakeArpResolverCapture(resolver, &net);

    std::vector<CaptureDevice> devices;
    std::string error;
    ASSERT_EQ(capture->FindAllDevices(devices, error), kCaptureOk);
    ASSERT_EQ(devices.size(), 1u);  // loopback and eth1 (no address) left out
    std::unique_ptr<CaptureHandle> handle;
    EXPECT_EQ(capture->Open("eth9", CaptureOptions{}, handle, error), kCaptureFailed);
    EXPECT_EQ(capture->Open("eth1", CaptureOptions{}, handle, error), kCaptureFailed);
    ASSERT_EQ(capture->Open("eth0", CaptureOptions{}, handle, error), kCaptureOk);

    const std::vector<uint8_t> notArp = Reply(Mac(0x01), Ip("10.88.5.20"), 0x0800, 1);
    const std::vector<uint8_t> reply = Reply(Mac(0x01), Ip("10.88.5.20"));
    EXPECT_FALSE(handle->Send(notArp.data(), notArp.size()));
    EXPECT_FALSE(handle->Send(reply.data(), reply.size()));
    EXPECT_TRUE(resolver.m_asked.empty());

    const ArpProbeFrame probe = BuildArpProbe(Mac(0x01), Ip("10.88.5.20"));
    ASSERT_TRUE(handle->Send(probe.data(), probe.size()));
    const uint8_t* frame = nullptr;
    size_t length = 0;
    ASSERT_EQ(handle->Next(frame, length), 1);
    ArpReply answer;
    ASSERT_TRUE(ReadArpReply(frame, length, answer));
    EXPECT_EQ(answer.ethernetSource, Mac(0x09));
    EXPECT_EQ(answer.senderMac, Mac(0x09));
    EXPECT_EQ(answer.senderAddress, Ip("10.88.5.20"));
    EXPECT_EQ(handle->Next(frame, length), -1);  // nothing more will come
}

TEST(ResolverCapture, CaptureDeviceNamesMatchAdapterNames) {
    struct Case {
        const char* device;
        const char* adapter;
        bool same;
    };
    const Case cases[] = {
        {"eth0", "eth0", true},
        {"eth0", "eth1", false},
        {"\\Device\\NPF_{4D36E972-0001}", "{4D36E972-0001}", true},
        {"\\Device\\NPF_{4D36E972-0001}", "{4D36E972-0002}", false},
        {"\\Device\\NPF_Loopback", "Loopback", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::CaptureDeviceIsAdapter(c.device, c.adapter), c.same) << c.device;
    }
}

}  // namespace
