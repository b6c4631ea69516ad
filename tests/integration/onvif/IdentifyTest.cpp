// Reading who a camera is over HTTP (libcurl) against camsim's ONVIF device
// service on loopback: each way a camera wants its credentials, its clock
// off, a UTF-8 password, refusals and a camera that is not there.
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "onvif/Identify.h"
#include "sim/Simulator.h"

namespace {

struct Case {
    const char* name;
    const char* auth;
    const char* algorithm;
    int32_t clockOffsetS;
    const char* password;  // the one the program gives
    int code;
    const char* authentication;
};

TEST(OnvifIdentify, EachWayACameraWantsItsCredentials) {
    const std::string password = "p\xC3\xA4ssw\xC3\xB6rd-\xE7\x9B\xB8\xE6\x9C\xBA";
    const Case cases[] = {
        {"token", "token", "MD5", 0, password.c_str(), onvif::kIdentifyOk, "UsernameToken"},
        {"token, clock 15 min ahead", "token", "MD5", 900, password.c_str(), onvif::kIdentifyOk,
         "UsernameToken"},
        {"token, clock 2 h behind", "token", "MD5", -7200, password.c_str(), onvif::kIdentifyOk,
         "UsernameToken"},
        {"digest MD5", "digest", "MD5", 0, password.c_str(), onvif::kIdentifyOk, "HTTP digest"},
        {"digest SHA-256", "digest", "SHA-256", 0, password.c_str(), onvif::kIdentifyOk,
         "HTTP digest"},
        {"token, wrong password", "token", "MD5", 0, "739164", onvif::kIdentifyRefused, ""},
        {"digest, wrong password", "digest", "SHA-256", 0, "739164", onvif::kIdentifyRefused, ""},
    };
    std::vector<sim::DeviceConfig> fleet;
    for (size_t i = 0; i < std::size(cases); ++i) {
        sim::DeviceConfig c = sim::DefaultDevice(i);
        c.identity.password = password;
        c.identity.httpPort = 0;
        c.onvif.enabled = true;
        c.onvif.auth = cases[i].auth;
        c.onvif.digestAlgorithm = cases[i].algorithm;
        c.onvif.clockOffsetS = cases[i].clockOffsetS;
        fleet.push_back(c);
    }
    sim::SimulatorOptions options;
    options.answerSearch = false;  // no multicast outside a namespace
    sim::Simulator simulator(fleet, options);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;

    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        auto http = onvif::MakeCurlHttpClient();
        ASSERT_TRUE(http);
        const std::string url = "http://" + simulator.Address(i) + ":" +
                                std::to_string(simulator.OnvifPort(i)) + "/onvif/device_service";
        const onvif::DeviceIdentity id =
            onvif::IdentifyDevice(*http, url, "admin", c.password, {}, nullptr);
        EXPECT_EQ(id.code, c.code) << c.name << ": " << id.error;
        EXPECT_EQ(id.authentication, c.authentication) << c.name;
        EXPECT_TRUE(id.clockKnown) << c.name;
        EXPECT_NEAR(static_cast<double>(id.clockOffsetMs), c.clockOffsetS * 1000.0, 5000.0)
            << c.name;
        if (c.code == onvif::kIdentifyOk) {
            EXPECT_EQ(id.information.firmwareVersion, "4.1.2.3") << c.name;
            EXPECT_EQ(id.information.manufacturer, "camsim") << c.name;
            EXPECT_EQ(id.mac, simulator.Mac(i)) << c.name;
        }
    }
    simulator.Stop();
}

TEST(OnvifIdentify, AJobReadsAFewAtOnceAndNamesTheOnesItCouldNot) {
    std::vector<sim::DeviceConfig> fleet;
    for (size_t i = 0; i < 5; ++i) {
        sim::DeviceConfig c = sim::DefaultDevice(i);
        c.identity.httpPort = 0;
        c.onvif.enabled = true;
        c.onvif.hwAddress = i == 0 ? "not a mac" : "";
        fleet.push_back(c);
    }
    sim::SimulatorOptions options;
    options.answerSearch = false;
    sim::Simulator simulator(fleet, options);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    std::vector<onvif::IdentifyTarget> targets;
    for (size_t i = 0; i < 5; ++i) {
        targets.push_back({std::to_string(i), "http://" + simulator.Address(i) + ":" +
                                                  std::to_string(simulator.OnvifPort(i)) +
                                                  "/onvif/device_service"});
    }
    targets.push_back({"closed", "http://127.0.0.1:9/onvif/device_service"});
    targets.push_back({"none", ""});
    std::mutex mutex;
    std::condition_variable cv;
    std::map<std::string, onvif::DeviceIdentity> results;
    bool done = false;
    onvif::IdentifyJobOptions jobOptions;
    jobOptions.parallel = 2;
    jobOptions.settings.connectTimeoutMs = 1000;
    {
        onvif::IdentifyJob job(
            targets, "admin", "739164", jobOptions,
            [&](const std::string& key, onvif::DeviceIdentity id) {
                std::lock_guard<std::mutex> lock(mutex);
                results[key] = std::move(id);
            },
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                done = true;
                cv.notify_all();
            });
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] { return done; }));
    }
    ASSERT_EQ(results.size(), targets.size());
    EXPECT_EQ(results["0"].code, onvif::kIdentifyOk);
    EXPECT_EQ(results["0"].mac, "") << "free text that is no MAC";
    EXPECT_EQ(results["0"].macs, std::vector<std::string>{"not a mac"});
    EXPECT_EQ(results["4"].code, onvif::kIdentifyOk);
    EXPECT_EQ(results["closed"].code, onvif::kIdentifyUnreachable);
    EXPECT_EQ(results["none"].code, onvif::kIdentifyNoAddress);
    simulator.Stop();
}

}  // namespace
