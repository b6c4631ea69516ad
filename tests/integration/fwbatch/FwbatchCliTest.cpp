// `camprep upgrade` and `camprep ai-version` as programs against simulated
// devices.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FwbatchSimSupport.h"
#include "ProcessRun.h"
#include "sim/Simulator.h"
#include "tests/integration/sim/ChildProcess.h"

namespace {

const std::string kPackages = std::string(CAMPREP_TEST_DATA_DIR) + "/fwbatch/";

std::unique_ptr<sim::Simulator> Fleet(size_t n, uint32_t pieceDelayMs, const std::vector<std::string>& versions = {}) {
    std::vector<sim::DeviceConfig> devices;
    for (size_t i = 0; i < n; ++i) {
        sim::DeviceConfig d = sim::DefaultDevice(i);
        d.identity.dataPort = 0;
        d.identity.softwareVer = i < versions.size() ? versions[i] : "5.0.0.0";
        d.behaviour.pieceDelayMs = pieceDelayMs;
        d.behaviour.writeImageMs = 0;
        devices.push_back(d);
    }
    auto simulator = std::make_unique<sim::Simulator>(devices);
    std::string error;
    EXPECT_TRUE(simulator->Start(&error)) << error;
    return simulator;
}

std::vector<std::string> DeviceArgs(const sim::Simulator& simulator) {
    std::vector<std::string> args;
    for (size_t i = 0; i < simulator.DeviceCount(); ++i) {
        args.push_back("--device");
        args.push_back(simulator.Address(i) + ":" + std::to_string(simulator.DataPort(i)));
    }
    return args;
}

// 33 devices: every one gets its result, and never more than 32 are in a
// session at once.
TEST(FwbatchCli, UpgradeOfMoreThan32Devices) {
    auto simulator = Fleet(33, 10);
    std::vector<std::string> args = {"upgrade", "--package", kPackages + "sw_250.pkg", "--json"};
    const std::vector<std::string> devices = DeviceArgs(*simulator);
    args.insert(args.end(), devices.begin(), devices.end());
    const cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const nlohmann::json out = nlohmann::json::parse(run.out);
    ASSERT_EQ(out.size(), 33u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i]["address"], simulator->Address(i));
        EXPECT_EQ(out[i]["code"], 0);
        EXPECT_EQ(out[i]["result"], "Upgraded successfully!");
        EXPECT_EQ(out[i]["attempts"], 1);
        EXPECT_EQ(fwtest::Sha256Hex(simulator->Records(i).images.at(sim::UpgradeKind::Software)),
                  fwtest::ExpectedPayloadSha256("sw_250.pkg"));
    }
    EXPECT_LE(simulator->PeakOpenSessions(), 32u);
    EXPECT_GE(simulator->PeakOpenSessions(), 1u);
}

TEST(FwbatchCli, UsageAndTextOutput) {
    auto simulator = Fleet(2, 0);
    const std::string device0 = simulator->Address(0) + ":" + std::to_string(simulator->DataPort(0));

    // A package that cannot be read: its text, exit 2, nothing sent.
    cli_test::ProcessResult run =
        cli_test::RunProcess(CAMPREP_BIN, {"upgrade", "--package", "/nonexistent", "--device", device0});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("Failed to open the file!"), std::string::npos);
    run = cli_test::RunProcess(CAMPREP_BIN, {"upgrade", "--package", kPackages + "sw_250.pkg"});
    EXPECT_EQ(run.exitStatus, 2);
    run = cli_test::RunProcess(CAMPREP_BIN,
                               {"upgrade", "--package", kPackages + "sw_250.pkg", "--parallel", "33", "--device", device0});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(simulator->Records(0).connections, 0u);

    // A kernel package as software: "Upgrade package error!" in the locale's language.
    run = cli_test::RunProcess(CAMPREP_BIN, {"upgrade", "--package", kPackages + "kernel.pkg", "--device", device0},
                               {"LANG=zh_TW.UTF-8"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, device0 + "\t-\t\xe5\x8d\x87\xe7\xb4\x9a\xe5\x8c\x85\xe9\x8c\xaf\xe8\xaa\xa4\xef\xbc\x81\n");  // 升級包錯誤！

    const std::string device1 = simulator->Address(1) + ":" + std::to_string(simulator->DataPort(1));
    run = cli_test::RunProcess(CAMPREP_BIN, {"ai-version", "--device", device1});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, device1 + "\t-\t1.2.0\t2.0.1\t1.0.5\tGet AI version infomation successfully\xef\xbc\x81\n");
    run = cli_test::RunProcess(CAMPREP_BIN, {"ai-version", "--json", "--password", "wrong", "--device", device1});
    EXPECT_EQ(run.exitStatus, 1);
    const nlohmann::json out = nlohmann::json::parse(run.out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]["code"], 12);
    EXPECT_EQ(out[0]["struct_version"], "");
}

// With the diagnostics channel writing to a file, an AI query to a device
// that encrypts its payloads leaves neither the password nor the
// credentials text in it, and the file is the owner's alone.
TEST(FwbatchCli, DiagnosticsKeepSecrets) {
    std::vector<sim::DeviceConfig> devices = {sim::DefaultDevice(0)};
    devices[0].identity.dataPort = 0;
    devices[0].identity.password = "Zq7-secret-Pw";
    devices[0].greeting.encrypted = true;
    devices[0].greeting.sessionNumber = 4242;
    sim::Simulator simulator(devices);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const std::string path = "/tmp/camprep-diag-" + std::to_string(getpid());
    std::remove(path.c_str());
    ::setenv("CAMPREP_DIAG", path.c_str(), 1);
    ::setenv("CAMPREP_PASSWORD", "Zq7-secret-Pw", 1);
    const cli_test::ProcessResult run = cli_test::RunProcess(
        CAMPREP_BIN, {"ai-version", "--device", simulator.Address(0) + ":" + std::to_string(simulator.DataPort(0))});
    ::unsetenv("CAMPREP_DIAG");
    ::unsetenv("CAMPREP_PASSWORD");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::ifstream in(path);
    const std::string diag((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    std::remove(path.c_str());
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(diag.find("EncryptCmdData"), std::string::npos);  // the channel did write
    // python3 -c 'import base64; print(base64.b64encode(b"admin:Zq7-secret-Pw"))'
    for (const char* secret : {"Zq7-secret-Pw", "YWRtaW46WnE3LXNlY3JldC1Qdw=="}) {
        EXPECT_EQ(diag.find(secret), std::string::npos) << secret;
        EXPECT_EQ(run.out.find(secret), std::string::npos) << secret;
        EXPECT_EQ(run.err.find(secret), std::string::npos) << secret;
    }
}

// The password from the command line, a file or the environment, in that
// order; the file and the environment keep it out of the process list.
TEST(FwbatchCli, PasswordSources) {
    std::vector<sim::DeviceConfig> devices = {sim::DefaultDevice(0)};
    devices[0].identity.dataPort = 0;
    devices[0].identity.password = "from-file-7";
    sim::Simulator simulator(devices);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const std::string device = simulator.Address(0) + ":" + std::to_string(simulator.DataPort(0));
    const std::string file = "/tmp/camprep-password-" + std::to_string(getpid());
    std::ofstream(file) << "from-file-7\nsecond line\n";
    ::setenv("CAMPREP_PASSWORD", "from-environment", 1);
    const struct {
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {{"--password-file", file}, 0},
        {{"--password", "from-file-7"}, 0},
        {{}, 1},  // the environment's password is wrong for this device
        {{"--password", "x", "--password-file", file}, 2},
        {{"--password-file", "/nonexistent"}, 2},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"ai-version", "--device", device};
        args.insert(args.end(), row.args.begin(), row.args.end());
        EXPECT_EQ(cli_test::RunProcess(CAMPREP_BIN, args).exitStatus, row.status) << ::testing::PrintToString(row.args);
    }
    ::unsetenv("CAMPREP_PASSWORD");
    std::remove(file.c_str());
}

// Ctrl-C: the running device finishes, the others are not started, the
// results so far are printed and the exit status is 1.
TEST(FwbatchCli, InterruptStartsNoFurtherDevice) {
    auto simulator = Fleet(3, 30);  // about 3 s a device
    std::vector<std::string> args = {CAMPREP_BIN, "upgrade", "--parallel", "1", "--package",
                                      kPackages + "sw_250.pkg"};
    const std::vector<std::string> devices = DeviceArgs(*simulator);
    args.insert(args.end(), devices.begin(), devices.end());
    simtest::Child camprep(args);
    ASSERT_TRUE(simulator->WaitForRecords(0, [](const sim::DeviceRecords& r) { return !r.pieces.empty(); }, 30000));
    camprep.Signal(SIGINT);
    const std::string out = camprep.ReadAll();
    EXPECT_EQ(camprep.Wait(), 1) << out;
    EXPECT_NE(out.find(devices[1] + "\t-\tUpgraded successfully!"), std::string::npos) << out;
    EXPECT_NE(out.find(devices[3] + "\t-\tnot started"), std::string::npos) << out;
    EXPECT_EQ(simulator->Records(0).imagesReceived, 1u);
    EXPECT_EQ(simulator->Records(1).connections + simulator->Records(2).connections, 0u);
}

// Packages the device check refuses: each device logs the program in and
// then receives no upgrade request at all, and the result says why.
TEST(FwbatchCli, RefusedPackagesSendNoPiece) {
    const std::vector<uint8_t> kernel = fwtest::ReadPackage("kernel.pkg");
    const std::vector<uint8_t> software = fwtest::ReadPackage("sw_250.pkg");
    struct Row {
        const char* what;
        std::vector<uint8_t> package;
        const char* type;
        const char* deviceVersion;
    };
    const std::vector<Row> rows = {
        {"trailer cut short", std::vector<uint8_t>(kernel.begin(), kernel.end() - 3), "kernel", "5.0.0.0"},
        {"a kernel package as software", kernel, "software", "5.0.0.0"},
        {"a kernel package as the boot loader", kernel, "uboot", "5.0.0.0"},
        {"a software image as the AI library", software, "ai", "5.0.0.0"},
        {"an uncompressed image for 4.0.1", software, "software", "4.0.1.0"},
        {"a compressed image for 4.0.2", fwtest::ReadPackage("sw_gzip.pkg"), "software", "4.0.2.0"},
        {"the magic damaged", [&] {
             std::vector<uint8_t> p = software;
             p[p.size() - 64] ^= 0xFF;
             return p;
         }(), "software", "5.0.0.0"},
        {"an empty file", {}, "software", "5.0.0.0"},
    };
    std::vector<sim::DeviceConfig> devices;
    for (size_t i = 0; i < rows.size(); ++i) {
        sim::DeviceConfig d = sim::DefaultDevice(i);
        d.identity.dataPort = 0;
        d.identity.softwareVer = rows[i].deviceVersion;
        devices.push_back(d);
    }
    sim::Simulator simulator(devices);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const std::string path = "/tmp/camprep-refused-" + std::to_string(getpid()) + ".pkg";
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(rows[i].package.data()),
                      static_cast<std::streamsize>(rows[i].package.size()));
        }
        const std::string device = simulator.Address(i) + ":" + std::to_string(simulator.DataPort(i));
        const cli_test::ProcessResult run = cli_test::RunProcess(
            CAMPREP_BIN, {"upgrade", "--json", "--package", path, "--type", rows[i].type, "--device", device});
        EXPECT_EQ(run.exitStatus, 1) << run.err;
        const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_TRUE(out.is_array() && out.size() == 1) << run.out;
        EXPECT_EQ(out[0]["result"], "Upgrade package error!");
        EXPECT_EQ(out[0]["attempts"], 1);
        const sim::DeviceRecords records = simulator.Records(i);
        EXPECT_EQ(records.logins.size(), 1u);
        EXPECT_TRUE(records.pieces.empty());
        EXPECT_TRUE(records.images.empty());
        EXPECT_TRUE(records.unservedRequests.empty());
        EXPECT_TRUE(records.anomalies.empty());
    }
    std::remove(path.c_str());
}

}  // namespace

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "camprep-" + std::to_string(::getpid()) + "-" + name;
}

// Verifying asks each upgrade type for what it can show. A kernel, boot
// loader or intelligent library leaves the software version as it was: the
// device back and taking the login verifies it, at once (the intelligent
// library also answering "GetDeviceInfo"); none of them waits out the limit.
TEST(FwbatchCli, VerifyAsksEachUpgradeTypeForWhatItCanShow) {
    struct Case {
        const char* type;
        const char* package;
        bool answersDeviceInfo;
        int code;
    };
    const Case cases[] = {
        {"software", "sw_250.pkg", true, 0}, {"kernel", "kernel.pkg", true, 0}, {"uboot", "uboot.pkg", true, 0},
        {"ai", "ai.pkg", true, 0},           {"ai", "ai.pkg", false, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + (c.answersDeviceInfo ? "" : ", no GetDeviceInfo"));
        auto simulator = Fleet(1, 0);
        if (!c.answersDeviceInfo) {
            sim::DeviceConfig config = simulator->Config(0);
            config.faults.httpFailFirst = 1000;
            simulator->SetConfig(0, config);
        }
        std::vector<std::string> args = {"upgrade", "--type", c.type, "--package", kPackages + c.package,
                                          "--json", "--verify-timeout", "5"};
        const std::vector<std::string> devices = DeviceArgs(*simulator);
        args.insert(args.end(), devices.begin(), devices.end());
        const cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
        EXPECT_EQ(run.exitStatus, c.code == 0 ? 0 : 1) << run.err;
        const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_TRUE(out.is_array()) << run.out;
        EXPECT_EQ(out[0]["code"], c.code);
    }
}

}  // namespace

// A report records every device; --rerun-failed reaches exactly the devices
// it shows failed, and a report without failures leaves nothing to do. A
// devices file names its bad line; nothing is reached then.
TEST(FwbatchCli, ReportsAndRerunningWhatFailed) {
    auto simulator = Fleet(3, 0);
    sim::DeviceFaults refuse;
    refuse.refuseLogin = 2;
    simulator->SetFaults(1, refuse);
    const std::string csv = TempPath("first.csv");
    const std::string json = TempPath("second.json");
    std::vector<std::string> args = {"upgrade", "--package", kPackages + "sw_250.pkg", "--report", csv};
    const std::vector<std::string> devices = DeviceArgs(*simulator);
    args.insert(args.end(), devices.begin(), devices.end());
    cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    const std::string report = ReadAll(csv);
    EXPECT_EQ(report.rfind("time,mac,address,port,model,version_before,version_after,code,result,success,", 0), 0u)
        << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 4);
    EXPECT_NE(report.find("," + simulator->Address(1) + "," + std::to_string(simulator->DataPort(1)) + ","),
              std::string::npos);

    simulator->SetFaults(1, {});
    for (size_t i = 0; i < 3; ++i) simulator->ClearRecords(i);
    run = cli_test::RunProcess(CAMPREP_BIN, {"upgrade", "--package", kPackages + "sw_250.pkg", "--rerun-failed",
                                             csv, "--report", json});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const nlohmann::json second = nlohmann::json::parse(ReadAll(json));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]["address"], simulator->Address(1));
    EXPECT_EQ(second[0]["success"], true);
    EXPECT_TRUE(simulator->Records(0).logins.empty());
    EXPECT_TRUE(simulator->Records(2).logins.empty());
    EXPECT_EQ(simulator->Records(1).images.count(sim::UpgradeKind::Software), 1u);

    run = cli_test::RunProcess(CAMPREP_BIN, {"upgrade", "--package", kPackages + "sw_250.pkg", "--rerun-failed", json});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("nothing to do"), std::string::npos) << run.err;

    const std::string list = TempPath("devices.txt");
    std::ofstream(list) << "# the line's devices\n" << devices[1] << "  # first\n\n" << "127.0.0.2:x\n";
    run = cli_test::RunProcess(CAMPREP_BIN, {"upgrade", "--package", kPackages + "sw_250.pkg", "--devices-file", list});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find(list + ":4: \"127.0.0.2:x\" is not IPv4-ADDRESS:PORT"), std::string::npos) << run.err;
    EXPECT_TRUE(simulator->Records(0).logins.empty());
    for (const std::string& path : {csv, json, list}) std::remove(path.c_str());
}

// Stopping a bad rollout early: one device at a time, in order, so which
// devices start is fixed. Devices that never start are reported as such and
// never reached.
TEST(FwbatchCli, MaxFailPercentAndCanaryStopWhereTheyShould) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::vector<size_t> refusing;
        size_t started;  // devices 0..started-1 run, the rest never start
        int exitStatus;
    };
    const Case cases[] = {
        {"over the limit after the first", {"--max-fail-percent", "50"}, {0}, 1, 1},
        {"at the limit goes on", {"--max-fail-percent", "50"}, {1}, 4, 1},
        {"a failed canary", {"--canary", "2"}, {1}, 2, 1},
        {"good canaries", {"--canary", "2"}, {3}, 4, 1},
        {"all good", {"--canary", "1", "--max-fail-percent", "0"}, {}, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto simulator = Fleet(4, 0);
        sim::DeviceFaults refuse;
        refuse.refuseLogin = 2;
        for (size_t i : c.refusing) simulator->SetFaults(i, refuse);
        std::vector<std::string> args = {"upgrade", "--package", kPackages + "sw_250.pkg", "--json", "--parallel", "1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const std::vector<std::string> devices = DeviceArgs(*simulator);
        args.insert(args.end(), devices.begin(), devices.end());
        const cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
        const nlohmann::json out = nlohmann::json::parse(run.out);
        ASSERT_EQ(out.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(out[i]["result"] == "not started", i >= c.started);
            EXPECT_EQ(simulator->Records(i).logins.empty(), i >= c.started);
        }
    }
}

// A dry run logs in and checks, sends no piece, and predicts the code the
// real run then gives, device by device.
TEST(FwbatchCli, DryRunPredictsTheRealRun) {
    // Device 2's version comes before the compression change: the package
    // does not suit it.
    auto simulator = Fleet(3, 0, {"5.0.0.0", "5.0.0.0", "3.0.0.0"});
    sim::DeviceFaults refuse;
    refuse.refuseLogin = 2;
    simulator->SetFaults(1, refuse);
    std::vector<std::string> args = {"upgrade", "--package", kPackages + "sw_250.pkg", "--json"};
    const std::vector<std::string> devices = DeviceArgs(*simulator);
    args.insert(args.end(), devices.begin(), devices.end());
    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");
    const cli_test::ProcessResult predicted = cli_test::RunProcess(CAMPREP_BIN, dry);
    EXPECT_EQ(predicted.exitStatus, 1) << predicted.err;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(simulator->Records(i).imagesReceived, 0u);
        EXPECT_TRUE(simulator->Records(i).pieces.empty());
    }
    const cli_test::ProcessResult real = cli_test::RunProcess(CAMPREP_BIN, args);
    const nlohmann::json p = nlohmann::json::parse(predicted.out);
    const nlohmann::json r = nlohmann::json::parse(real.out);
    ASSERT_EQ(p.size(), 3u);
    ASSERT_EQ(r.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(p[i]["code"], r[i]["code"]) << i;
    }
    EXPECT_EQ(p[0]["result"], "would be upgraded (checks passed, nothing sent)");
    EXPECT_EQ(p[0]["version_before"], "5.0.0.0");
    EXPECT_EQ(r[0]["code"], 0);
    EXPECT_NE(r[1]["code"], 0);
    EXPECT_NE(r[2]["code"], 0);
}

// Verifying after success: the device comes back with a new version, with
// its old one, or not at all; each has its own result and the versions
// travel into the output.
TEST(FwbatchCli, VerifyTellsATakenUpgradeFromOneThatDidNotTake) {
    struct Case {
        const char* after;  // the simulator's versionAfterUpgrade
        int code;
        const char* result;
        const char* versionAfter;
    };
    const Case cases[] = {
        {"", 0, "Upgraded successfully!", "5.0.0.1"},
        {"keep", 20, "Upgrade not applied!", "5.0.0.0"},
        {"offline", 21, "Device did not come back!", ""},
    };
    auto simulator = Fleet(3, 0);
    // The window only bounds the two that never show a new version.
    std::vector<std::string> args = {"upgrade", "--package", kPackages + "sw_250.pkg", "--json", "--verify-timeout", "5"};
    for (size_t i = 0; i < 3; ++i) {
        sim::Behaviour b = simulator->Config(i).behaviour;
        b.versionAfterUpgrade = cases[i].after;
        simulator->SetBehaviour(i, b);
    }
    const std::vector<std::string> devices = DeviceArgs(*simulator);
    args.insert(args.end(), devices.begin(), devices.end());
    const cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    const nlohmann::json out = nlohmann::json::parse(run.out);
    ASSERT_EQ(out.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].result);
        EXPECT_EQ(out[i]["code"], cases[i].code);
        EXPECT_EQ(out[i]["result"], cases[i].result);
        EXPECT_EQ(out[i]["version_before"], "5.0.0.0");
        EXPECT_EQ(out[i]["version_after"], cases[i].versionAfter);
        EXPECT_EQ(simulator->Records(i).imagesReceived, 1u);
    }
}
