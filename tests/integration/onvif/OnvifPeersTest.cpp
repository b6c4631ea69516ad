// Independent ONVIF programs from Debian against camsim's cameras, and
// camprep against a PC that announces itself and a camera whose clock is off.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "onvif/OnvifSearch.h"
#include "tests/integration/onvif/CameraNetns.h"

namespace {

using nlohmann::json;
using onvif_test::RunCommand;

const std::string kCamprep = CAMPREP_BIN;

bool Have(const char* program) {
    return RunCommand(std::string("command -v ") + program).status == 0;
}

class OnvifPeers : public onvif_test::CameraNetns {
protected:
    // One link, cameras at 10.1.0.2 and .3 on port 80 (where clients look).
    void TwoCameras(const std::vector<std::string>& camsimPrefix = {}) {
        ASSERT_TRUE(Link("h0", "10.1.0.1/24", "c0", "10.1.0.2/24"));
        ASSERT_TRUE(AddCameraAddress("c0", "10.1.0.3/24"));
        ASSERT_EQ(nstest::Shell("ip route add 224.0.0.0/4 dev h0"), 0);
        ASSERT_EQ(InCameras("ip route add 224.0.0.0/4 dev c0"), 0);
        const json fleet = {
            {"defaults",
             {{"onvif", {{"enabled", true}}}, {"behaviour", {{"answerSearch", false}}}}},
            {"devices",
             {{{"devName", "one"}, {"listen", "10.1.0.2"}},
              {{"devName", "two"}, {"listen", "10.1.0.3"}}}}};
        std::vector<std::string> argv = {"ip", "netns", "exec", m_ns};
        argv.insert(argv.end(), camsimPrefix.begin(), camsimPrefix.end());
        // onvif-util stops listening after 500 ms of silence: answers come within 100 ms.
        argv.insert(argv.end(), {CAMSIM_BIN, "--fleet", TempFile("fleet.json", fleet.dump()),
                                 "--onvif-spread", "100"});
        ASSERT_TRUE(Camsim().Start(argv) && Camsim().WaitForLine("ready", 20000));
    }
};

TEST_F(OnvifPeers, OnvifUtilFindsTheCamerasAndReadsThemWithTheRightPassword) {
    if (!Have("onvif-util")) {
        GTEST_SKIP() << "onvif-util (onvif-tools) is not installed";
    }
    TwoCameras();
    const auto found = RunCommand("onvif-util -a");
    EXPECT_NE(found.out.find("10.1.0.2"), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("10.1.0.3"), std::string::npos) << found.out;
    const auto good = RunCommand("echo quit | timeout 20 onvif-util -u admin -p 739164 10.1.0.2");
    EXPECT_NE(good.out.find("IPC-SIM-4"), std::string::npos) << good.out;
    EXPECT_NE(good.out.find("serial: SIM"), std::string::npos) << good.out;
    const auto bad = RunCommand("echo quit | timeout 20 onvif-util -u admin -p wrong 10.1.0.2");
    EXPECT_EQ(bad.out.find("IPC-SIM-4"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("NotAuthorized"), std::string::npos) << bad.out;
}

TEST_F(OnvifPeers, NmapsProbeGetsTheCamerasAnswers) {
    if (!Have("nmap")) {
        GTEST_SKIP() << "nmap is not installed";
    }
    TwoCameras();
    const auto run = RunCommand(
        "nmap -e h0 --script broadcast-wsdd-discover --script-args "
        "broadcast-wsdd-discover.timeout=3s");
    EXPECT_NE(run.out.find("10.1.0.2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("10.1.0.3"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("/onvif/device_service"), std::string::npos) << run.out;
}

TEST_F(OnvifPeers, APcAnnouncingItselfIsNoCamera) {
    if (!Have("wsdd")) {
        GTEST_SKIP() << "wsdd is not installed";
    }
    TwoCameras();
    std::mutex mutex;
    std::vector<std::string> reported;
    onvif::OnvifSearchOptions options;
    options.interfaces = {"h0"};
    onvif::OnvifSearch search(
        [&](int, const onvif::OnvifDevice& d) {
            std::lock_guard<std::mutex> lock(mutex);
            reported.push_back(d.endpoint);
        },
        options);
    ASSERT_TRUE(search.Start());
    onvif_test::Background pc;
    ASSERT_TRUE(pc.Start(
        {"ip", "netns", "exec", m_ns, "wsdd", "-4", "-i", "c0", "-n", "OFFICE-PC", "-H", "1"}));
    // Both cameras answer (0..500 ms) and wsdd's Hello arrives: at most 10 s.
    bool heard = false;
    size_t cameras = 0;
    for (int i = 0; i < 200 && !(heard && cameras >= 2); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        heard = search.DatagramsIgnored() > 0;
        std::lock_guard<std::mutex> lock(mutex);
        cameras = std::set<std::string>(reported.begin(), reported.end()).size();
    }
    EXPECT_TRUE(heard) << "wsdd's Hello never arrived";
    search.Stop();
    pc.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(std::set<std::string>(reported.begin(), reported.end()).size(), 2u)
        << "the two cameras only";
}

TEST_F(OnvifPeers, ACameraWhoseClockIsFifteenMinutesOffIsStillRead) {
    if (!Have("faketime")) {
        GTEST_SKIP() << "faketime is not installed";
    }
#ifdef CAMPREP_SANITIZED
    GTEST_SKIP()
        << "faketime's preloaded library and the sanitizer's runtime do not mix (the clock "
           "offset is tested with camsim's own setting)";
#endif
    TwoCameras({"faketime", "-f", "+15m"});
    const auto run =
        RunCommand(kCamprep + " discover --json --source onvif --identify --password 739164");
    ASSERT_EQ(run.status, 0) << run.out;
    const json list = json::parse(run.out);
    ASSERT_EQ(list.size(), 2u);
    for (const json& d : list) {
        EXPECT_EQ(d["identity"]["result"], "identified") << d.dump();
        EXPECT_NEAR(d["identity"]["clock_offset_ms"].get<double>(), 900000.0, 5000.0);
    }
}

}  // namespace
