// The push worker and `camprep push` against simulated devices: every path
// of a push in one run, the devices' received bytes compared with the
// payloads GetSendData builds.
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ProcessRun.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/PushJob.h"
#include "cfgpush/engine/PushWorker.h"
#include "cfgpush/engine/SendData.h"
#include "common/platform/Clock.h"
#include "common/report/RunReport.h"
#include "sim/Simulator.h"
#include "tests/integration/link/LinkTestSupport.h"
#include "tests/integration/platform/PrivateNetns.h"
#include "tests/support/HangGuard.h"

namespace {

const std::string kFull = std::string(CAMPREP_TEST_DATA_DIR) + "/fac/full.fac";

// The cases of a push, one simulated device each.
enum Case { kV3, kV4Plain, kV4Encrypted, kWrongPassword, kStatus500, kV3Silent, kCaseCount };

std::vector<sim::DeviceConfig> Fleet() {
    std::vector<sim::DeviceConfig> devices;
    for (size_t i = 0; i < kCaseCount; ++i) {
        sim::DeviceConfig d = sim::DefaultDevice(i);
        d.identity.dataPort = 0;  // any free port
        d.behaviour.pieceDelayMs = 0;
        switch (static_cast<Case>(i)) {
            case kV3:
            case kV3Silent:
                d.identity.softwareVer = "3.4.2.1";
                d.behaviour.configV3Silent = i == kV3Silent;
                d.behaviour.configV3Reply = 1;
                break;
            case kV4Encrypted:
                d.greeting.encrypted = true;
                d.greeting.sessionNumber = 123456;
                d.greeting.digestMode = 2;
                break;
            case kWrongPassword:
                d.identity.password = "something else";
                break;
            case kStatus500:
                d.faults.httpStatus = 500;
                break;
            default:
                break;
        }
        devices.push_back(d);
    }
    return devices;
}

std::unique_ptr<sim::Simulator> Start(std::vector<sim::DeviceConfig> devices, sim::SimulatorOptions options = {}) {
    auto simulator = std::make_unique<sim::Simulator>(std::move(devices), options);
    std::string error;
    if (!simulator->Start(&error)) {
        ADD_FAILURE() << "simulator: " << error;
        return nullptr;
    }
    return simulator;
}

struct Package {
    cfgpush::FacPackage package;
    cfgpush::FactoryItemLists lists;
    bool Load() {
        if (package.Load(kFull) != cfgpush::FacLoadResult::kLoaded) return false;
        const auto types = package.ProductTypesInBoxOrder();
        return !types.empty() && cfgpush::BuildItemLists(package, types.front().entryNumber, lists);
    }
    std::vector<uint8_t> Payload(bool version4) const {
        std::vector<uint8_t> p;
        EXPECT_TRUE(cfgpush::GetSendData(version4, lists, package, p));
        return p;
    }
};

struct Results {
    std::mutex mutex;
    std::condition_variable cv;
    std::map<int, int> byRow;
    void Add(int row, int code) {
        std::lock_guard<std::mutex> lock(mutex);
        byRow[row] = code;
        cv.notify_all();
    }
    bool WaitFor(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(60), [&] { return byRow.size() >= n; });
    }
};

TEST(PushWorker, EveryPathOfAPushInOneRun) {
    Package pkg;
    ASSERT_TRUE(pkg.Load());
    auto simulator = Start(Fleet());
    ASSERT_TRUE(simulator);

    cfgpush::PushOptions options;
    options.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };  // no adapter attempts
    options.timings.configReplyWaitMs = 1000;

    std::vector<cfgpush::_file_cfg_info> jobs;
    for (size_t i = 0; i < kCaseCount; ++i) {
        cfgpush::PushTarget t;
        t.firstAddress = simulator->Address(i);
        t.secondAddress = simulator->Address(i);
        t.dataPort = simulator->DataPort(i);
        t.mac = simulator->Mac(i);
        t.softwareVersion = simulator->Config(i).identity.softwareVer;
        cfgpush::_file_cfg_info job;
        ASSERT_TRUE(cfgpush::MakePushJob(static_cast<int32_t>(i), t, "admin", "739164", pkg.lists, pkg.package, job));
        jobs.push_back(std::move(job));
    }
    // A device that answers on its first address only, and one on neither.
    {
        cfgpush::PushTarget t;
        t.firstAddress = simulator->Address(kV4Plain);
        t.secondAddress = "127.0.0.250";
        t.dataPort = simulator->DataPort(kV4Plain);
        t.softwareVersion = "4.0.1";
        cfgpush::_file_cfg_info job;
        ASSERT_TRUE(cfgpush::MakePushJob(kCaseCount, t, "admin", "739164", pkg.lists, pkg.package, job));
        jobs.push_back(std::move(job));
        t.firstAddress = "127.0.0.250";
        ASSERT_TRUE(cfgpush::MakePushJob(kCaseCount + 1, t, "admin", "739164", pkg.lists, pkg.package, job));
        jobs.push_back(std::move(job));
    }
    EXPECT_TRUE(jobs[kV3].version3);
    EXPECT_FALSE(jobs[kV4Plain].version3);

    Results results;
    {
        cfgpush::PushWorkerGroup workers;
        for (auto& job : jobs) {
            workers.Start(std::move(job), [&results](int row, int code) { results.Add(row, code); }, options);
        }
        ASSERT_TRUE(results.WaitFor(kCaseCount + 2));
    }
    const std::map<int, int> expected = {{kV3, 0},           {kV4Plain, 0},      {kV4Encrypted, 0},
                                         {kWrongPassword, -1}, {kStatus500, -1},  {kV3Silent, 4},
                                         {kCaseCount, 0},     {kCaseCount + 1, 4}};
    EXPECT_EQ(results.byRow, expected);

    const std::vector<uint8_t> v3 = pkg.Payload(false);
    const std::vector<uint8_t> v4 = pkg.Payload(true);
    // Version 3: no login, the command payload intact.
    const sim::DeviceRecords r3 = simulator->Records(kV3);
    EXPECT_TRUE(r3.logins.empty());
    ASSERT_EQ(r3.configs.size(), 1u);
    EXPECT_EQ(r3.configs[0].route, sim::ConfigRoute::Command0D01);
    EXPECT_EQ(r3.configs[0].payload, v3);
    // Version 4: logged in, exactly GetSendData's bytes (twice: also the
    // job that reached the device on its first address).
    const sim::DeviceRecords r4 = simulator->Records(kV4Plain);
    ASSERT_EQ(r4.configs.size(), 2u);
    for (const auto& c : r4.configs) {
        EXPECT_EQ(c.route, sim::ConfigRoute::ImportFacConf);
        EXPECT_EQ(c.payload, v4);
    }
    const sim::DeviceRecords re = simulator->Records(kV4Encrypted);
    ASSERT_EQ(re.configs.size(), 1u);
    EXPECT_TRUE(re.configs[0].encrypted);
    EXPECT_TRUE(sim::SamePayload(v4, re.configs[0].payload, true));
    ASSERT_EQ(re.logins.size(), 1u);
    EXPECT_TRUE(re.logins[0].accepted);
    // Refused login: nothing imported.
    EXPECT_TRUE(simulator->Records(kWrongPassword).configs.empty());
    simulator->Stop();
}

// Cfgpush's push reaches devices through its own variant of the connection
// procedure, whose error prints carry its own line numbers: a device that
// refuses the plain connect, and a host address that cannot be bound.
TEST(PushWorker, ThePushConnectsThroughCfgpushsVariant) {
    cfgpush::_file_cfg_info job;
    job.rowIndex = 0;
    std::snprintf(job.firstAddress, sizeof job.firstAddress, "127.0.0.1");
    std::snprintf(job.secondAddress, sizeof job.secondAddress, "127.0.0.1");
    job.dataPort = linktest::ClosedPort();
    platform::ManualClock clock;
    cfgpush::PushOptions options;
    options.connectEnv.clock = &clock;
    options.connectEnv.hostAddresses = [] { return std::vector<std::string>{"192.0.2.1"}; };
    testing::internal::CaptureStderr();
    int result = -2;
    cfgpush::RunPushJob(std::move(job), [&result](int, int code) { result = code; }, options);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, cfgpush::kPushDisconnected);
    EXPECT_NE(err.find("SWL_ConnectProc 180 "), std::string::npos) << err;
    EXPECT_EQ(err.find("SWL_ConnectProc 177 "), std::string::npos) << err;
}

// Connection waits that hold each worker in its first waiting slice until
// the test lets them go (a device that never answers), counting every slice.
struct SliceGate {
    std::mutex mutex;
    std::condition_variable cv;
    int slices = 0;
    bool open = false;
    int Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        ++slices;
        cv.notify_all();
        cv.wait_for(lock, testsupport::kHangGuard, [&] { return open; });
        return -1;
    }
    bool WaitSlices(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, testsupport::kHangGuard, [&] { return slices >= n; });
    }
    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        cv.notify_all();
    }
    int Slices() {
        std::lock_guard<std::mutex> lock(mutex);
        return slices;
    }
};

// A group whose owner goes away ends its workers' connection attempts at
// once instead of going through the adapter procedure: uncancelled, every
// worker would wait hundreds more slices (plain connect, 31 adapter attempts
// with a pause each, both addresses). Cancelled, none waits another slice
// and no pause begins.
TEST(PushWorker, CancellingEndsConnectionAttemptsEarly) {
    Package pkg;
    ASSERT_TRUE(pkg.Load());
    SliceGate gate;
    platform::ManualClock clock;  // the pauses between attempts pass on it, not in real time
    cfgpush::PushOptions options;
    options.connectEnv.clock = &clock;
    options.connectEnv.waitConnected = [&gate](int, uint32_t) { return gate.Wait(); };
    options.connectEnv.hostAddresses = [] { return std::vector<std::string>(30, "127.0.0.1"); };
    cfgpush::PushTarget t;
    t.firstAddress = "127.0.0.250";
    t.secondAddress = "127.0.0.251";
    t.dataPort = 9;
    Results results;
    cfgpush::PushWorkerGroup workers;
    constexpr int kWorkers = 3;
    for (int i = 0; i < kWorkers; ++i) {
        cfgpush::_file_cfg_info job;
        ASSERT_TRUE(cfgpush::MakePushJob(i, t, "admin", "739164", pkg.lists, pkg.package, job));
        workers.Start(std::move(job), [&results](int row, int code) { results.Add(row, code); }, options);
    }
    // Every worker waits in its first slice.
    const bool allWaiting = gate.WaitSlices(kWorkers);
    workers.CancelAll();
    gate.Open();
    workers.JoinAll();
    ASSERT_TRUE(allWaiting) << "the workers never began to connect";
    EXPECT_EQ(gate.Slices(), kWorkers) << "connection attempts went on after the cancel";
    EXPECT_EQ(clock.SleptMs(), 0u) << "an adapter attempt began after the cancel";
    ASSERT_TRUE(results.WaitFor(kWorkers));
    for (const auto& [row, code] : results.byRow) EXPECT_EQ(code, cfgpush::kPushDisconnected) << row;
}

// Cancelling also ends a worker that is connected and waiting: its live link
// is broken, so a device that stays silent after the login cannot hold it
// for the reply's whole limit (two minutes here).
TEST(PushWorker, CancellingBreaksALiveSession) {
    Package pkg;
    ASSERT_TRUE(pkg.Load());
    sim::DeviceConfig d = sim::DefaultDevice(0);
    d.identity.dataPort = 0;
    d.faults.silence = sim::Silence::AfterLogin;
    auto simulator = Start({d});
    ASSERT_TRUE(simulator);
    cfgpush::PushOptions options;
    options.timings.httpReadWaitMs = 120000;
    cfgpush::PushTarget t;
    t.firstAddress = t.secondAddress = simulator->Address(0);
    t.dataPort = simulator->DataPort(0);
    t.softwareVersion = "4.1.0";
    cfgpush::_file_cfg_info job;
    ASSERT_TRUE(cfgpush::MakePushJob(0, t, "admin", "739164", pkg.lists, pkg.package, job));
    Results results;
    cfgpush::PushWorkerGroup workers;
    workers.Start(std::move(job), [&results](int row, int code) { results.Add(row, code); }, options);
    // The request went out and the device ignores it.
    ASSERT_TRUE(simulator->WaitForRecords(0, [](const sim::DeviceRecords& r) { return r.ignoredWhileSilent > 0; },
                                          30000));
    workers.CancelAll();
    ASSERT_TRUE(results.WaitFor(1));  // within its 60 s, well before the reply's limit
    EXPECT_EQ(results.byRow.at(0), cfgpush::kPushVersion4Failed);
    workers.JoinAll();
}

// ---- camprep push ----------------------------------------------------------

nlohmann::json ByAddress(const nlohmann::json& results, const std::string& address, int port) {
    for (const auto& r : results) {
        if (r["address"] == address && r["port"] == port) return r;
    }
    return {};
}

TEST(CamprepPush, DevicesGivenByAddress) {
    auto simulator = Start(Fleet());
    ASSERT_TRUE(simulator);
    auto device = [&](Case c) { return simulator->Address(c) + ":" + std::to_string(simulator->DataPort(c)); };
    const cli_test::ProcessResult v4 = cli_test::RunProcess(
        CAMPREP_BIN, {"push", "--fac", kFull, "--json", "--device", device(kV4Plain), "--device", device(kV4Encrypted),
                      "--device", device(kWrongPassword), "--device", device(kStatus500)});
    EXPECT_EQ(v4.exitStatus, 1) << v4.err;
    const nlohmann::json r = nlohmann::json::parse(v4.out);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0]["result"], "Success!");
    EXPECT_EQ(r[0]["path"], "v4");
    EXPECT_EQ(r[0]["code"], 0);
    EXPECT_EQ(r[1]["result"], "Success!");
    EXPECT_EQ(r[2]["result"], "Failed!");
    EXPECT_EQ(r[2]["code"], -1);
    EXPECT_EQ(r[3]["result"], "Failed!");
    EXPECT_EQ(r[3]["address"], simulator->Address(kStatus500));

    // Version 3 with the software version given; everything succeeds: 0.
    const cli_test::ProcessResult v3 = cli_test::RunProcess(
        CAMPREP_BIN, {"push", "--fac", kFull, "--device", device(kV3), "--software-version", "3.4.2"},
        {"LC_ALL=zh_CN.UTF-8"});
    EXPECT_EQ(v3.exitStatus, 0) << v3.err;
    EXPECT_NE(v3.out.find("配置成功。"), std::string::npos) << v3.out;  // the Chinese table
    EXPECT_EQ(simulator->Records(kV3).configs.size(), 1u);

    // Bad usage and a bad package: 2.
    EXPECT_EQ(cli_test::RunProcess(CAMPREP_BIN, {"push", "--fac", kFull}).exitStatus, 2);
    EXPECT_EQ(cli_test::RunProcess(CAMPREP_BIN, {"push", "--fac", kFull, "--device", "host-name:9008"}).exitStatus, 2);
    EXPECT_EQ(cli_test::RunProcess(CAMPREP_BIN, {"push", "--fac", kFull, "--device", "127.0.0.2:70000"}).exitStatus, 2);
    const cli_test::ProcessResult bad = cli_test::RunProcess(
        CAMPREP_BIN,
        {"push", "--fac", std::string(CAMPREP_TEST_DATA_DIR) + "/fac/bad_magic.fac", "--device", device(kV3)});
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_EQ(bad.err, "The configuration file is not in the correct format!\n");
    EXPECT_EQ(cli_test::RunProcess(CAMPREP_BIN, {"push", "--fac", kFull, "--device", device(kV3),
                                                 "--product-type", "no such type"})
                  .exitStatus,
              2);
    simulator->Stop();
}

// A dry run reaches every device and logs in on the version-4 path, names
// the path each would take, and sends no configuration. (A device that
// refuses only the import itself cannot be told from a good one.)
TEST(CamprepPush, DryRunSendsNothing) {
    auto simulator = Start(Fleet());
    ASSERT_TRUE(simulator);
    auto device = [&](Case c) { return simulator->Address(c) + ":" + std::to_string(simulator->DataPort(c)); };
    const cli_test::ProcessResult run = cli_test::RunProcess(
        CAMPREP_BIN, {"push", "--fac", kFull, "--json", "--dry-run", "--device", device(kV4Plain), "--device",
                      device(kWrongPassword), "--device", device(kStatus500)});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    const nlohmann::json r = nlohmann::json::parse(run.out);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0]["result"], "would push by the version-4 import (logged in, nothing sent)");
    EXPECT_EQ(r[1]["result"], "Failed!");
    EXPECT_EQ(r[2]["code"], 0);
    const cli_test::ProcessResult v3 = cli_test::RunProcess(
        CAMPREP_BIN, {"push", "--fac", kFull, "--dry-run", "--device", device(kV3), "--software-version", "3.4.2"});
    EXPECT_EQ(v3.exitStatus, 0) << v3.err;
    EXPECT_NE(v3.out.find("would push by the version-3 command"), std::string::npos) << v3.out;
    for (Case c : {kV4Plain, kWrongPassword, kStatus500, kV3}) {
        EXPECT_TRUE(simulator->Records(c).http.empty()) << c;
        EXPECT_TRUE(simulator->Records(c).configs.empty()) << c;
    }
    simulator->Stop();
}

// Packages camprep refuses, before any worker starts: each names what is
// wrong, exits 2, and no device is even connected to.
TEST(CamprepPush, RefusedPackagesReachNoDevice) {
    auto simulator = Start(Fleet());
    ASSERT_TRUE(simulator);
    const std::string dir = std::string(CAMPREP_TEST_DATA_DIR) + "/fac/";
    const std::string badFormat = "The configuration file is not in the correct format!\n";
    const std::string incorrect = "The configuration file is incorrect!\n";
    // small.fac with the last byte of its enciphered common block changed:
    // the block's padding no longer holds (offset 20, length 40, as
    // tests/data/fac/packages.json gives them).
    std::vector<uint8_t> damaged;
    {
        std::ifstream in(dir + "small.fac", std::ios::binary);
        damaged.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_EQ(damaged.size(), 162u);
    damaged[59] ^= 0xFF;
    const std::string damagedPath = "/tmp/camprep-damaged-" + std::to_string(getpid()) + ".fac";
    std::ofstream(damagedPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
    struct Row {
        std::string fac;
        std::vector<std::string> extra;
        std::string err;
    };
    const std::vector<Row> rows = {
        {dir + "bad_magic.fac", {}, badFormat},
        {dir + "short_magic.fac", {}, badFormat},
        {dir + "past_end_common.fac", {}, badFormat},
        {dir + "past_end_product_name.fac", {}, badFormat},
        {dir + "huge_picture_count.fac", {}, badFormat},
        {dir + "negative_product_length.fac", {}, badFormat},
        {dir + "common_not_deciphering.fac", {}, incorrect},
        {dir + "common_without_header.fac", {}, incorrect},
        {dir + "product_blocks_bad.fac", {"--product-type", "odd-length"}, incorrect},
        {dir + "product_blocks_bad.fac", {"--product-type", "header-after-zero"}, incorrect},
        {damagedPath, {}, incorrect},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fac + " " + ::testing::PrintToString(row.extra));
        std::vector<std::string> args = {"push", "--fac", row.fac};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        for (size_t i = 0; i < kCaseCount; ++i) {
            args.push_back("--device");
            args.push_back(simulator->Address(i) + ":" + std::to_string(simulator->DataPort(i)));
        }
        const cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.out, "");
    }
    std::remove(damagedPath.c_str());
    for (size_t i = 0; i < kCaseCount; ++i) {
        const sim::DeviceRecords records = simulator->Records(i);
        EXPECT_EQ(records.connections, 0u) << i;
        EXPECT_TRUE(records.configs.empty() && records.http.empty()) << i;
    }
    simulator->Stop();
}

class CamprepPushNetns : public nstest::PrivateNetnsTest {};

// Every case at once, the devices found by the search (each carries its own
// software version), with an unreachable one among them.
TEST_F(CamprepPushNetns, DiscoveredDevicesAsJson) {
    std::vector<sim::DeviceConfig> devices = Fleet();
    sim::DeviceConfig away = sim::DefaultDevice(kCaseCount);
    away.identity.dataPort = 0;
    away.identity.ip[0] = "127.0.0.250";  // advertised, but nothing listens there
    away.identity.ip[1] = "127.0.0.251";
    devices.push_back(away);
    sim::SimulatorOptions options;
    options.answerSearch = true;
    auto simulator = Start(devices, options);
    ASSERT_TRUE(simulator);
    // The same fleet as the search shows it.
    const cli_test::ProcessResult found =
        cli_test::RunProcess(CAMPREP_BIN, {"discover", "--json", "--interface", "lo", "--timeout", "2"});
    ASSERT_EQ(found.exitStatus, 0) << found.err;
    const nlohmann::json listed = nlohmann::json::parse(found.out);
    ASSERT_EQ(listed.size(), kCaseCount + 1u);
    for (const auto& d : listed) {
        EXPECT_EQ(d["data_port"].get<int>() != 0, true);
        EXPECT_FALSE(d["model"].get<std::string>().empty());
    }
    const std::string reportPath = ::testing::TempDir() + "discovered-push.json";
    const cli_test::ProcessResult run =
        cli_test::RunProcess(CAMPREP_BIN, {"push", "--fac", kFull, "--json", "--discover", "--interface", "lo",
                                           "--timeout", "2.5", "--report", reportPath});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    // The search told each device's model: the report keeps it.
    std::vector<report::ReportRow> reported;
    std::string reportError;
    ASSERT_TRUE(report::ReadReport(reportPath, reported, reportError)) << reportError;
    ASSERT_EQ(reported.size(), kCaseCount + 1u);
    for (const report::ReportRow& r : reported) {
        EXPECT_FALSE(r.model.empty()) << r.address;
    }
    const nlohmann::json r = nlohmann::json::parse(run.out);
    ASSERT_EQ(r.size(), kCaseCount + 1u);
    struct Expect {
        size_t device;
        const char* address;
        const char* path;
        int code;
        const char* result;
    };
    const std::string a0 = simulator->Address(kV3);
    for (size_t i = 0; i < kCaseCount + 1; ++i) {
        const std::string address = i == kCaseCount ? "127.0.0.250" : simulator->Address(i);
        nlohmann::json e;
        for (const auto& x : r) {
            if (x["address"] == address) e = x;
        }
        ASSERT_FALSE(e.is_null()) << address;
        EXPECT_EQ(e["mac"], simulator->Mac(i));
        switch (i) {
            case kV3:
                EXPECT_EQ(e["path"], "v3");
                EXPECT_EQ(e["result"], "Success!");
                break;
            case kV3Silent:
                EXPECT_EQ(e["path"], "v3");
                EXPECT_EQ(e["result"], "Disconnected!");
                break;
            case kWrongPassword:
            case kStatus500:
                EXPECT_EQ(e["result"], "Failed!");
                break;
            case kCaseCount:
                EXPECT_EQ(e["result"], "Disconnected!");
                EXPECT_EQ(e["code"], 4);
                break;
            default:
                EXPECT_EQ(e["path"], "v4");
                EXPECT_EQ(e["result"], "Success!");
                break;
        }
    }
    EXPECT_EQ(ByAddress(r, a0, simulator->DataPort(kV3))["software_version"], "3.4.2.1");
    simulator->Stop();
    // An interface the namespace does not have is named, before any search.
    const std::vector<std::vector<std::string>> badRuns{
        {"discover", "--interface", "nosuch0", "--timeout", "1"},
        {"push", "--fac", kFull, "--discover", "--interface", "nosuch0", "--timeout", "1"}};
    for (const std::vector<std::string>& args : badRuns) {
        const cli_test::ProcessResult bad = cli_test::RunProcess(CAMPREP_BIN, args);
        EXPECT_EQ(bad.exitStatus, 2) << args[0];
        EXPECT_NE(bad.err.find("no interface named \"nosuch0\" on this machine (there are: lo"),
                  std::string::npos)
            << bad.err;
    }
}

}  // namespace
