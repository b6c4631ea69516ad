// The ONVIF search, camprep discover and the identity calls against camsim's
// ONVIF cameras in a namespace of their own, joined by veth pairs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "discovery/DeviceDiscovery.h"
#include "discovery/SearchAnswer.h"
#include "tests/integration/onvif/CameraNetns.h"

namespace {

using nlohmann::json;
using onvif_test::ByName;
using onvif_test::RunCommand;

const std::string kCamprep = CAMPREP_BIN;

json Device(const std::string& name, const std::string& listen, json onvif,
            json more = json::object()) {
    json d = {{"devName", name}, {"listen", listen}, {"onvif", std::move(onvif)}};
    d.update(more);
    return d;
}

// Reports of an in-process discovery, by key.
struct Collector {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, int> kinds;  // last kind per key
    std::map<std::string, SEARCH_DEVICE_INFO> records;
    static void Callback(const char* key, int kind, const char* xml, void* context) {
        auto* self = static_cast<Collector*>(context);
        discovery::SearchReport r =
            discovery::ParseSearchAnswer(key, kind, xml, discovery::kFwbatchRules);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (r.type == discovery::SearchReport::Type::Device) {
            self->records[r.key] = *r.device;
        }
        self->kinds[r.key] = kind;
        self->changed.notify_all();
    }
    template <typename Pred>
    bool WaitFor(Pred pred, int limitMs = 15000) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return pred(); });
    }
};

class OnvifNetns : public onvif_test::CameraNetns {};

TEST_F(OnvifNetns, EachCameraIsListedOnceWithWhatItSaysAboutItself) {
    ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
    ASSERT_TRUE(AddCameraAddress("c0", "10.1.0.3/24"));
    // A second address on each side: the probes from it are answered too.
    ASSERT_EQ(nstest::Shell("ip addr add 10.1.5.1/24 dev h0"), 0);
    ASSERT_TRUE(AddCameraAddress("c0", "10.1.5.2/24"));
    ASSERT_TRUE(Link("h1", "10.2.0.1/24", "c1", "10.2.0.2/24"));
    const json fleet = {
        {"devices",
         {Device("front", "10.1.0.2", {{"enabled", true}}),
          Device("back", "10.2.0.2", {{"enabled", true}, {"macScope", ""}},
                 {{"behaviour", {{"answerSearch", false}}}}),
          Device("side", "10.1.0.3",
                 {{"enabled", true},
                  {"macScope", "MacAddress"},
                  {"macSeparator", ""},
                  {"answerNvt", false}},
                 {{"behaviour", {{"answerSearch", false}}}, {"productModel", "NVT-SIDE"}}),
          json{
              {"devName", "ours"}, {"listen", "10.2.0.2"}, {"dataPort", 9009}, {"httpPort", 81}}}}};
    ASSERT_TRUE(StartCamsim(fleet));

    const auto all = RunCommand(kCamprep + " discover --json --timeout 2");
    ASSERT_EQ(all.status, 0) << all.out;
    const json byName = ByName(all.out);
    ASSERT_EQ(byName.size(), 4u) << all.out;
    EXPECT_EQ(byName["front"]["source"], "both");
    EXPECT_EQ(byName["front"]["mac"], "02:53:49:4D:00:00");
    EXPECT_EQ(byName["back"]["source"], "onvif");
    EXPECT_EQ(byName["back"]["mac"], "") << "no MAC scope: no MAC, and never the endpoint";
    EXPECT_EQ(byName["back"]["key"], "urn:uuid:5e1f0000-ca5e-4000-8000-0253494d0001");
    EXPECT_EQ(byName["back"]["addresses"][1]["ip"], "10.2.0.2");
    EXPECT_EQ(byName["back"]["data_port"], 9008);
    EXPECT_EQ(byName["back"]["model"], "IPC-SIM-4");
    EXPECT_EQ(byName["back"]["from"]["model"], "ONVIF hardware scope");
    EXPECT_EQ(byName["back"]["from"]["data_port"], "default data port");
    EXPECT_EQ(byName["side"]["mac"], "02:53:49:4D:00:02")
        << "the MacAddress scope without separators";
    EXPECT_EQ(byName["side"]["model"], "NVT-SIDE");
    EXPECT_EQ(byName["side"]["onvif"]["types"].size(), 1u)
        << "it answers only the tds:Device probe";
    EXPECT_EQ(byName["ours"]["source"], "ours");
    EXPECT_EQ(byName["ours"]["data_port"], 9009);

    const auto onvifOnly =
        RunCommand(kCamprep + " discover --json --source onvif --data-port 9100 --interface h1");
    ASSERT_EQ(onvifOnly.status, 0) << onvifOnly.out;
    const json onvifByName = ByName(onvifOnly.out);
    EXPECT_EQ(onvifByName.size(), 1u) << onvifOnly.out;
    EXPECT_EQ(onvifByName["back"]["data_port"], 9100);
    EXPECT_EQ(onvifByName["back"]["onvif"]["heard_on"], json::array({"h1"}));

    const auto ours = RunCommand(kCamprep + " discover --json --source ours --timeout 1.5");
    ASSERT_EQ(ours.status, 0);
    EXPECT_EQ(ByName(ours.out).size(), 2u) << ours.out;
}

// Sends junk to the discovery group from the test's side while a search runs.
void SendJunk(std::atomic<bool>& stop) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    in_addr local{};
    inet_pton(AF_INET, "10.1.0.1", &local);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(3702);
    inet_pton(AF_INET, "239.255.255.250", &to.sin_addr);
    const std::string junk[] = {
        "\x01\x02garbage", "<s:Envelope xmlns:s='http://www.w3.org/2003/05/soap-envelope'>",
        std::string(3000, '<'), "<?xml version='1.0'?><!DOCTYPE x [<!ENTITY a 'aaaa'>]><x>&a;</x>"};
    while (!stop) {
        for (const std::string& j : junk) {
            sendto(fd, j.data(), j.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    close(fd);
}

TEST_F(OnvifNetns, ASlowCameraIsKeptAndFaultsAndJunkEndNothing) {
    ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
    ASSERT_TRUE(AddCameraAddress("c0", "10.1.0.3/24"));
    ASSERT_TRUE(AddCameraAddress("c0", "10.1.0.4/24"));
    const json fleet = {{"devices",
                         {Device("plain", "10.1.0.2", {{"enabled", true}}),
                          Device("slow", "10.1.0.3",
                                 {{"enabled", true}, {"answerDelayMs", 1500}, {"hello", false}}),
                          Device("faulty", "10.1.0.4",
                                 {{"enabled", true}, {"probeFault", true}, {"hello", false}})}},
                        {"defaults", {{"behaviour", {{"answerSearch", false}}}}}};
    // No random spread: the slow camera answers 1.5 s after each probe.
    ASSERT_TRUE(StartCamsim(fleet, {"--onvif-spread", "0"}));
    std::atomic<bool> stop{false};
    std::thread junk(SendJunk, std::ref(stop));
    const auto run = RunCommand(kCamprep + " discover --json --source onvif --timeout 0.5");
    stop = true;
    junk.join();
    ASSERT_EQ(run.status, 0) << run.out;
    const json byName = ByName(run.out);
    EXPECT_EQ(byName.size(), 2u) << run.out;
    EXPECT_TRUE(byName.contains("plain"));
    EXPECT_TRUE(byName.contains("slow")) << "answers are collected at least 2 s";
    EXPECT_TRUE(byName["slow"]["onvif"]["by_probe"].get<bool>());
}

TEST_F(OnvifNetns, IdentityWithCredentialsEachWayACameraWantsThem) {
    ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
    for (const char* a : {"10.1.0.3/24", "10.1.0.4/24"}) {
        ASSERT_TRUE(AddCameraAddress("c0", a));
    }
    const std::string password = "p\xC3\xA4ssw\xC3\xB6rd-\xE7\x9B\xB8\xE6\x9C\xBA";
    const json fleet = {
        {"defaults", {{"password", password}, {"behaviour", {{"answerSearch", false}}}}},
        {"devices",
         {Device("late", "10.1.0.2", {{"enabled", true}, {"clockOffsetS", 900}, {"macScope", ""}}),
          Device("md5", "10.1.0.3", {{"enabled", true}, {"auth", "digest"}}),
          Device("sha", "10.1.0.4",
                 {{"enabled", true}, {"auth", "digest"}, {"digestAlgorithm", "SHA-256"}})}}};
    ASSERT_TRUE(StartCamsim(fleet));
    const std::string good = TempFile("good", password + "\n");
    const auto run = RunCommand(
        kCamprep + " discover --json --source onvif --identify --user admin --password-file " +
        good);
    ASSERT_EQ(run.status, 0) << run.out;
    const json byName = ByName(run.out);
    ASSERT_EQ(byName.size(), 3u) << run.out;
    const std::pair<const char*, const char*> ways[] = {
        {"late", "UsernameToken"}, {"md5", "HTTP digest"}, {"sha", "HTTP digest"}};
    for (const auto& [name, way] : ways) {
        const json& d = byName[name];
        EXPECT_EQ(d["identity"]["result"], "identified") << name << d.dump();
        EXPECT_EQ(d["identity"]["authentication"], way) << name;
        EXPECT_EQ(d["software_version"], "4.1.2.3") << name;
        EXPECT_EQ(d["from"]["software_version"], "ONVIF GetDeviceInformation") << name;
        EXPECT_EQ(d["serial_number"].get<std::string>().substr(0, 3), "SIM") << name;
        EXPECT_FALSE(d["mac"].get<std::string>().empty()) << name;
    }
    EXPECT_EQ(byName["late"]["from"]["mac"], "ONVIF GetNetworkInterfaces");
    EXPECT_NEAR(byName["late"]["identity"]["clock_offset_ms"].get<double>(), 900000.0, 5000.0);

    const std::string bad = TempFile("bad", "739164\n");
    const auto refused =
        RunCommand(kCamprep + " discover --source onvif --identify --password-file " + bad);
    EXPECT_EQ(refused.status, 1) << refused.out;
    // The result stands in its own column, under its heading.
    const std::string heading = refused.out.substr(0, refused.out.find('\n'));
    const size_t column = heading.find("  IDENTITY");
    ASSERT_NE(column, std::string::npos) << refused.out;
    const std::string row = refused.out.substr(heading.size() + 1);
    EXPECT_EQ(row.find("credentials refused"), column + 2) << refused.out;
}

TEST_F(OnvifNetns, AForeignCameraIsHeardByItsHelloAndProbedOnceAnAddressReachesIt) {
    ASSERT_TRUE(Link("h0", "192.168.7.1/24", "c0", "10.9.0.5/24"));
    Collector collector;
    discovery::DiscoveryOptions options;
    options.addLinkLocalRoute = false;
    options.waitForNetwork = false;
    options.interfaces = {"h0"};
    options.ourSearch = false;
    options.onvif = true;
    discovery::DeviceDiscovery search(options);
    ASSERT_TRUE(search.Start(&Collector::Callback, &collector));
    const std::string key = "urn:uuid:5e1f0000-ca5e-4000-8000-0253494d0000";
    ASSERT_TRUE(StartCamsim({{"devices", {Device("far", "10.9.0.5", {{"enabled", true}})}}}));
    ASSERT_TRUE(collector.WaitFor([&] { return collector.kinds.count(key) != 0; }))
        << "no Hello heard";
    discovery::DeviceSideRecord side;
    ASSERT_TRUE(search.SideRecord(key, side));
    EXPECT_TRUE(side.onvif.byHello);
    EXPECT_FALSE(side.onvif.onLocalSubnet);
    {
        std::lock_guard<std::mutex> lock(collector.mutex);
        EXPECT_STREQ(collector.records[key].ip[1], "10.9.0.5");
        EXPECT_STREQ(collector.records[key].mask[1], "255.255.255.0")
            << "assumed for a foreign subnet";
    }
    // What Fwbatch's adapter preparation does before an upgrade.
    const auto prepared =
        RunCommand(kCamprep + " adapter prepare --address 10.9.0.5 --mask 255.255.255.0");
    ASSERT_EQ(prepared.status, 0) << prepared.out;
    // Looked up outside the collector's lock: reports arrive under discovery's.
    bool probed = false;
    for (int i = 0; i < 300 && !probed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        discovery::DeviceSideRecord now;
        probed = search.SideRecord(key, now) && now.onvif.byProbe && now.onvif.onLocalSubnet;
    }
    EXPECT_TRUE(probed) << "the probe from the added address was not answered";
    search.Stop();
}

TEST_F(OnvifNetns, AHelloListsACameraAndItsByeRemovesIt) {
    ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
    ASSERT_TRUE(AddCameraAddress("c0", "10.1.0.3/24"));
    Collector collector;
    discovery::DiscoveryOptions options;
    options.addLinkLocalRoute = false;
    options.waitForNetwork = false;
    options.interfaces = {"h0"};
    options.onvif = true;
    options.onvifOptions.probeIntervalMs = 3600000;  // only the announcements can tell
    discovery::DeviceDiscovery search(options);
    ASSERT_TRUE(search.Start(&Collector::Callback, &collector));
    const json fleet = {{"devices",
                         {Device("one", "10.1.0.2", {{"enabled", true}}),
                          Device("two", "10.1.0.3", {{"enabled", true}})}},
                        {"defaults", {{"behaviour", {{"answerSearch", false}}}}}};
    ASSERT_TRUE(StartCamsim(fleet, {"--commands"}));
    const std::string two = "urn:uuid:5e1f0000-ca5e-4000-8000-0253494d0001";
    ASSERT_TRUE(collector.WaitFor([&] { return collector.kinds.size() == 2; }));
    ASSERT_TRUE(Camsim().Write("leave 1\n"));
    EXPECT_TRUE(collector.WaitFor([&] { return collector.kinds[two] == 2; }))
        << "the Bye did not remove it";
    ASSERT_TRUE(Camsim().Write("return 1\n"));
    EXPECT_TRUE(collector.WaitFor([&] { return collector.kinds[two] == 1; }))
        << "the Hello did not list it again";
    search.Stop();
}

TEST_F(OnvifNetns, ThousandCamerasInOneRound) {
    ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
    ASSERT_TRUE(StartCamsim({{"defaults", {{"behaviour", {{"answerSearch", false}}}}}},
                            {"--devices", std::to_string(CAMPREP_ONVIF_FLEET), "--onvif",
                             "--listen", "10.1.0.2", "--quiet"}));
    const auto run =
        RunCommand(kCamprep + " discover --json --source onvif --interface h0 --timeout 2");
    ASSERT_EQ(run.status, 0);
    const json list = json::parse(run.out);
    std::set<std::string> keys;
    for (const auto& d : list) {
        keys.insert(d["key"].get<std::string>());
    }
    EXPECT_EQ(list.size(), size_t{CAMPREP_ONVIF_FLEET});
    EXPECT_EQ(keys.size(), size_t{CAMPREP_ONVIF_FLEET});
}

}  // namespace
