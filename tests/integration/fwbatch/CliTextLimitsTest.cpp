// Over-long texts on camprep's command lines (push, upgrade, ai-version):
// a user name or password that cannot fit its field, a credentials text
// too long for the device-information request, an over-long device or
// version text. Each is refused with a message naming it and exit status
// 2, before any device is connected to; texts just inside the limits go on
// to the device.
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ProcessRun.h"
#include "sim/Simulator.h"

namespace {

std::string Chinese(size_t characters) {
    std::string out;
    for (size_t i = 0; i < characters; ++i) out += "\xE4\xB8\xAD";  // 中: three bytes, one character
    return out;
}

TEST(CamprepTextLimits, RefusedBeforeAnyConnection) {
    std::vector<sim::DeviceConfig> devices = {sim::DefaultDevice(0)};
    devices[0].identity.dataPort = 0;
    devices[0].identity.softwareVer = "5.0.0.0";
    sim::Simulator simulator(devices);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const std::string device = simulator.Address(0) + ":" + std::to_string(simulator.DataPort(0));
    const std::string data = CAMPREP_TEST_DATA_DIR;
    const std::string passwordFile = "/tmp/camprep-long-password-" + std::to_string(getpid());
    std::ofstream(passwordFile) << std::string(1u << 20, 'p') << "\n";

    struct Row {
        const char* what;
        std::vector<std::string> args;  // the device is added
        int status;
        const char* errorText;  // in standard error when refused
    };
    const std::vector<Row> rows = {
        // The user name and password fields take 31 bytes and the zero.
        {"push, user of 32", {"push", "--fac", data + "/fac/small.fac", "--user", std::string(32, 'u')}, 2,
         "user name"},
        {"push, password of 32", {"push", "--fac", data + "/fac/small.fac", "--password", std::string(32, 'p')}, 2,
         "password"},
        // Cfgpush sends one byte per character: 31 characters fit whatever
        // their UTF-8 length, 32 do not.
        {"push, user of 31 characters", {"push", "--fac", data + "/fac/small.fac", "--user", Chinese(31)}, 1, ""},
        {"push, user of 32 characters", {"push", "--fac", data + "/fac/small.fac", "--user", Chinese(32)}, 2,
         "user name"},
        {"push, password from a file of a megabyte", {"push", "--fac", data + "/fac/small.fac", "--password-file",
                                                      passwordFile},
         2, "password"},
        {"upgrade, user of 32", {"upgrade", "--package", data + "/fwbatch/sw_250.pkg", "--user", std::string(32, 'u')},
         2, "user name"},
        {"upgrade, user of 11 characters in 33 bytes",
         {"upgrade", "--package", data + "/fwbatch/sw_250.pkg", "--user", Chinese(11)}, 2, "user name"},
        {"upgrade, password of 10000", {"upgrade", "--package", data + "/fwbatch/sw_250.pkg", "--password",
                                        std::string(10000, 'p')},
         2, "password"},
        {"upgrade, user of 31", {"upgrade", "--package", data + "/fwbatch/sw_250.pkg", "--user", std::string(31, 'u')},
         1, ""},
        {"ai-version, user of 32", {"ai-version", "--user", std::string(32, 'u'), "--password", "p"}, 2, "user name"},
        // user ":" password is at most 45 bytes in the request.
        {"ai-version, 46 bytes of credentials", {"ai-version", "--user", std::string(22, 'u'), "--password",
                                                 std::string(23, 'p')},
         2, "45"},
        {"ai-version, 45 bytes of credentials", {"ai-version", "--user", std::string(22, 'u'), "--password",
                                                 std::string(22, 'p')},
         1, ""},
    };
    uint64_t connections = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::string> args = row.args;
        args.push_back("--device");
        args.push_back(device);
        const cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
        EXPECT_EQ(run.exitStatus, row.status) << run.err;
        const uint64_t now = simulator.Records(0).connections;
        if (row.status == 2) {
            EXPECT_NE(run.err.find(row.errorText), std::string::npos) << run.err;
            EXPECT_LT(run.err.size(), 300u) << "the refused text is not repeated";
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(now, connections) << "connected although refused";
        } else {
            EXPECT_GT(now, connections) << "texts inside the limits reach the device";
        }
        connections = now;
    }
    std::remove(passwordFile.c_str());
    EXPECT_TRUE(simulator.Records(0).pieces.empty());
    EXPECT_TRUE(simulator.Records(0).configs.empty());
}

// Device and version texts of any length: a device text that is not
// HOST:PORT is bad usage; a software version is cut to its 19-byte field.
TEST(CamprepTextLimits, DeviceAndVersionTexts) {
    std::vector<sim::DeviceConfig> devices = {sim::DefaultDevice(0)};
    devices[0].identity.dataPort = 0;
    sim::Simulator simulator(devices);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const std::string device = simulator.Address(0) + ":" + std::to_string(simulator.DataPort(0));
    const std::string fac = std::string(CAMPREP_TEST_DATA_DIR) + "/fac/small.fac";
    for (const std::string& bad : {simulator.Address(0) + ":" + std::string(10000, '9'),
                                   std::string(10000, '1') + ":9008", std::string(100000, ':')}) {
        for (const char* command : {"push", "upgrade", "ai-version"}) {
            std::vector<std::string> args = {command, "--device", bad};
            if (std::string(command) == "push") args.insert(args.end(), {"--fac", fac});
            if (std::string(command) == "upgrade") args.insert(args.end(), {"--package", fac});
            EXPECT_EQ(cli_test::RunProcess(CAMPREP_BIN, args).exitStatus, 2) << command << " " << bad.size();
        }
    }
    EXPECT_EQ(simulator.Records(0).connections, 0u);

    const cli_test::ProcessResult run = cli_test::RunProcess(
        CAMPREP_BIN, {"push", "--json", "--fac", fac, "--device", device, "--software-version",
                      "4" + std::string(100000, '.')});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(out.is_array() && out.size() == 1) << run.out;
    EXPECT_EQ(out[0]["software_version"], "4" + std::string(18, '.'));
    EXPECT_EQ(out[0]["path"], "v4");
    EXPECT_EQ(simulator.Records(0).configs.size(), 1u);
}

}  // namespace
