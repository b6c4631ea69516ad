// camsim as a separate process, the way tests of other programs run it:
// its help, its refusal of a bad fleet file, its ready lines, the records it
// writes with --store, its control commands and a clean stop on SIGTERM.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "SimTestSupport.h"
#include "common/link/SWL_Public.h"
#include "common/link/SWL_TCPLink.h"
#include "common/session/SessionResults.h"

namespace {

using simtest::Child;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CamsimProcess : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("camsim-test-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::filesystem::path m_dir;
};

TEST_F(CamsimProcess, HelpDocumentsEveryOption) {
    Child child({CAMSIM_PATH, "--help"});
    const std::string help = child.ReadAll();
    EXPECT_EQ(child.Wait(), 0);
    for (const char* option : {"--devices",
                               "--fleet",
                               "--store",
                               "--listen",
                               "--port",
                               "--user",
                               "--password",
                               "--digest-mode",
                               "--encrypt",
                               "--fragment",
                               "--keep-alive",
                               "--piece-delay",
                               "--write-time",
                               "--reboot",
                               "--max-sessions",
                               "--no-search",
                               "--search-interface",
                               "--commands",
                               "--quiet",
                               "SIGUSR1",
                               "leave DEVICE",
                               "faults:",
                               "failUpgradeAt",
                               "127.0.0.2"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST_F(CamsimProcess, ABadFleetFileIsRefusedWithTheKeyNamed) {
    const std::string fleet = (m_dir / "fleet.json").string();
    std::ofstream(fleet) << R"({"devices": [{"greeting": {"digestMode": "two"}}]})";
    Child child({CAMSIM_PATH, "--fleet", fleet, "--no-search"});
    const std::string output = child.ReadAll();
    EXPECT_EQ(child.Wait(), 2);
    EXPECT_NE(output.find("devices[0].greeting.digestMode"), std::string::npos) << output;
}

TEST_F(CamsimProcess, ServesWritesItsRecordsAndStopsCleanly) {
    const std::string fleet = (m_dir / "fleet.json").string();
    std::ofstream(fleet) << R"({"defaults": {"greeting": {"digestMode": 2, "encrypted": true}},
                              "devices": [{}, {"user": "line7", "password": "pw-7", "devName": "Gate"}]})";
    const std::string store = (m_dir / "store").string();
    Child child({CAMSIM_PATH, "--fleet", fleet, "--devices", "3", "--port", "0", "--no-search",
                 "--store", store, "--commands"});

    std::vector<std::pair<std::string, uint16_t>> endpoints;
    std::string line;
    while (child.ReadLine(line) && line.rfind("ready", 0) != 0) {
        char mac[32], address[32], name[64];
        unsigned index = 0, port = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "device %u %31s %31[^:]:%u %63s", &index, mac, address,
                              &port, name),
                  5)
            << line;
        endpoints.emplace_back(address, static_cast<uint16_t>(port));
    }
    ASSERT_EQ(line, "ready 3");
    ASSERT_EQ(endpoints.size(), 3u);
    EXPECT_EQ(endpoints[1].first, "127.0.0.3");

    // The program logs in to device 1 and imports a configuration.
    {
        int sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
        SWL_ADDR a;
        ASSERT_TRUE(SWL_MakeAddr(endpoints[1].first.c_str(), endpoints[1].second, a));
        ASSERT_EQ(SWL_Connect(sock, a, 5000), 0);
        TcpLinkPtr link(CTcpLink::Create(sock));
        uint8_t greeting[64];
        ASSERT_EQ(link->RecvExact(greeting, sizeof greeting, 5000), 0);
        int error = 0;
        simtest::SessionPtr session(CreateNetDevice(link, greeting, nullptr, nullptr, error));
        ASSERT_TRUE(session);
        NET_DEVICE_INFO info;
        ASSERT_EQ(session->Login("line7", "pw-7", info), session::kOk);
        EXPECT_EQ(session->ImportFacConf("[IPCamera-Config-File]\r\n", 24), 200);
    }

    child.Write("list\n");
    ASSERT_TRUE(child.ReadLine(line));
    EXPECT_EQ(line.rfind("device 0 ", 0), 0u) << line;
    ASSERT_TRUE(child.ReadLine(line));
    ASSERT_TRUE(child.ReadLine(line));
    child.Write("leave 1\n");
    ASSERT_TRUE(child.ReadLine(line));
    EXPECT_EQ(line, "error: the search is not answered (--no-search)");
    child.Write("flush\n");
    ASSERT_TRUE(child.ReadLine(line));
    EXPECT_EQ(line, "ok flush");

    const auto fleetList = nlohmann::json::parse(ReadFile(store + "/devices.json"));
    ASSERT_EQ(fleetList.size(), 3u);
    EXPECT_EQ(fleetList[1]["devName"], "Gate");
    EXPECT_EQ(fleetList[1]["dataPort"], endpoints[1].second);
    EXPECT_FALSE(fleetList[1].contains("password"));

    const auto records = nlohmann::json::parse(ReadFile(store + "/device-1/records.json"));
    ASSERT_EQ(records["logins"].size(), 1u);
    EXPECT_EQ(records["logins"][0]["accepted"], true);
    EXPECT_EQ(records["logins"][0]["form"], "digest2");
    EXPECT_EQ(records["logins"][0]["user"], "line7");
    const std::string record = records["logins"][0]["recordWithoutPassword"];
    EXPECT_EQ(record.substr(72, 64), std::string(64, '0'));  // the password field, left out
    ASSERT_EQ(records["configs"].size(), 1u);
    EXPECT_EQ(records["configs"][0]["encrypted"], true);
    const std::string payload =
        ReadFile(store + "/device-1/" + records["configs"][0]["file"].get<std::string>());
    EXPECT_EQ(payload.substr(0, 24), "[IPCamera-Config-File]\r\n");
    EXPECT_EQ(payload.size(), 32u);  // zero padding of the encrypted request stays
    EXPECT_TRUE(std::filesystem::exists(store + "/device-0/records.json"));

    child.Signal(SIGTERM);
    ASSERT_TRUE(child.ReadLine(line));
    EXPECT_EQ(line, "stopped");
    EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
