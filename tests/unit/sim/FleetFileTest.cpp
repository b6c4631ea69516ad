// The fleet file: layers of settings, checks that name the key, defaults.

#include <gtest/gtest.h>

#include "sim/FleetFile.h"

namespace {

using nlohmann::json;

bool Build(const json& file, size_t count, std::vector<sim::DeviceConfig>& devices,
           std::string& error, std::function<void(size_t, json&)> overlay = {}) {
    sim::FleetRequest request;
    request.file = file.is_null() ? nullptr : &file;
    request.count = count;
    request.overlay = std::move(overlay);
    return sim::BuildFleet(request, devices, error);
}

TEST(FleetFile, LayersApplyInOrderDefaultsCommandLineThenTheDevice) {
    const json file = json::parse(R"({
        "count": 3,
        "defaults": {"password": "fromDefaults", "user": "fromDefaults", "greeting": {"digestMode": 2}},
        "devices": [
            {"user": "dev0", "devName": "Front door", "faults": {"failUpgradeAt": 40, "silence": "after-login"}},
            {"version": "5.0.1.2", "ai": null, "link": {"fragmentSize": 32}, "behaviour": {"finish": "reboot"}}
        ]})");
    std::vector<sim::DeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(Build(file, 0, devices, error, [](size_t index, json& s) {
        s["password"] = "fromCli";
        s["user"] = "fromCli";
        if (index == 2)
            s["greeting"]["encrypted"] = true;
    })) << error;
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].identity.user, "dev0");     // the device's own entry wins
    EXPECT_EQ(devices[1].identity.user, "fromCli");  // the command line beats the defaults
    EXPECT_EQ(devices[2].identity.password, "fromCli");
    EXPECT_EQ(devices[0].greeting.digestMode, 2);
    EXPECT_TRUE(devices[2].greeting.encrypted);
    EXPECT_FALSE(devices[1].greeting.encrypted);
    EXPECT_EQ(devices[0].identity.devName, "Front door");
    EXPECT_EQ(devices[1].identity.devName, "camsim-2");
    EXPECT_EQ(devices[0].faults.failUpgrade.atPercent, 40);
    EXPECT_EQ(devices[0].faults.silence, sim::Silence::AfterLogin);
    EXPECT_EQ(sim::VersionWordOf(devices[1]), 0x05000102u);
    EXPECT_EQ(sim::VersionWordOf(devices[0]), 0x04010203u);  // from the default version text
    EXPECT_FALSE(devices[1].identity.ai.has_value());
    EXPECT_TRUE(devices[0].identity.ai.has_value());
    EXPECT_EQ(devices[1].link.fragmentSize, 32u);
    EXPECT_EQ(devices[1].behaviour.finish, sim::UpgradeFinish::Reboot);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(devices[i].identity.listenAddress, sim::DefaultAddress(i));
        EXPECT_EQ(devices[i].identity.ip[0], sim::DefaultAddress(i));  // follows the listen address
        EXPECT_EQ(devices[i].identity.ip[1], sim::DefaultAddress(i));
        EXPECT_EQ(devices[i].identity.mask[0], "255.0.0.0");
        EXPECT_EQ(devices[i].identity.dataPort, 9008);
    }
}

TEST(FleetFile, AnArrayIsTheDeviceListAndTheCountMayAddDefaults) {
    std::vector<sim::DeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(
        Build(json::parse(R"([{"listen": "10.1.2.3", "mac": "AA-01"}])"), 4, devices, error))
        << error;
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].identity.mac, "AA-01");
    EXPECT_EQ(devices[0].identity.mask[0], "255.255.255.0");  // not loopback
    EXPECT_EQ(devices[3].identity.mac, sim::DefaultMac(3));
    ASSERT_TRUE(Build(json(), 0, devices, error)) << error;
    EXPECT_EQ(devices.size(), 1u);
}

TEST(FleetFile, MistakesAreNamedByTheirKey) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"devices": [{"greeting": {"digestMode": 300}}]})", "devices[0].greeting.digestMode"},
        {R"({"devices": [{}, {"dataPort": "9008"}]})", "devices[1].dataPort"},
        {R"({"defaults": {"colour": "red"}})", "defaults.colour: unknown setting"},
        {R"({"defaults": {"faults": {"silence": "mostly"}}})", "defaults.faults.silence"},
        {R"({"defaults": {"behaviour": {"finish": "explode"}}})", "defaults.behaviour.finish"},
        {R"({"defaults": {"faults": {"dropAt": 100}}})", "defaults.faults.dropAt"},
        {R"({"defaults": {"version": "4.1"}})", "defaults.version"},
        {R"({"defaults": {"ai": {"struct": "1", "colour": 2}}})", "defaults.ai.colour"},
        {R"({"devices": [{"mac": "X"}, {"mac": "X"}]})", "MAC X is used twice"},
        {R"({"devices": [{"listen": "127.0.0.9"}, {"listen": "127.0.0.9"}]})",
         "127.0.0.9:9008 is used twice"},
        {R"({"devices": [{"listen": "localhost"}]})", "listen address"},
        {R"({"devices": [{"password": "0123456789012345678901234567890123"}]})",
         "at most 31 bytes"},
        {R"({"devices": [{"greeting": {"sessionNumber": 16777216}}]})", "sessionNumber"},
        {R"({"devices": [{"faults": {"httpStatus": 42}}]})", "HTTP status"},
        {R"({"devices": {}})", "\"devices\" must be an array"},
        {R"({"count": 0})", "\"count\" must be"},
        {R"({"extra": 1})", "unknown key \"extra\""},
        {R"({"devices": [{}, {}, {}]})", "describes 3 devices, but only 2"},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<sim::DeviceConfig> devices;
        std::string error;
        const size_t count = std::string(expected).find("describes") != std::string::npos ? 2 : 0;
        EXPECT_FALSE(Build(json::parse(text), count, devices, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
    }
}

TEST(FleetFile, TheSchemaTextListsEveryKeyTheReaderKnows) {
    const std::string schema = sim::FleetSchemaText();
    for (const char* key : {"mac",
                            "devName",
                            "productModel",
                            "productSeries",
                            "softwareVer",
                            "version",
                            "build",
                            "buildDate",
                            "kernelVer",
                            "deviceActivated",
                            "ip1",
                            "mask1",
                            "ip2",
                            "mask2",
                            "listen",
                            "dataPort",
                            "httpPort",
                            "user",
                            "password",
                            "ai",
                            "protocolVersion",
                            "productType",
                            "transformMode",
                            "transformKey",
                            "digestMode",
                            "sessionNumber",
                            "encrypted",
                            "fragmentSize",
                            "keepAliveMs",
                            "maxSessions",
                            "pieceDelayMs",
                            "writeImageMs",
                            "finish",
                            "configV3Reply",
                            "configV3Silent",
                            "refuseLogin",
                            "failUpgradeAt",
                            "failEveryTime",
                            "dropAt",
                            "dropEveryTime",
                            "badMagicReply",
                            "silence",
                            "httpStatus"}) {
        EXPECT_NE(schema.find(key), std::string::npos) << key;
    }
}

}  // namespace
