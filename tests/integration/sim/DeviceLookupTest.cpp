// Devices looked up by address against simulated devices on loopback: one
// result per device with the login's version or why not, the end told once
// after the last; and a job given up while a device keeps it waiting ends at
// once and reports nothing more.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>

#include "SimTestSupport.h"
#include "common/session/SessionResults.h"
#include "discovery/DeviceLookup.h"
#include "tests/support/HangGuard.h"

namespace {

using discovery::DeviceLookupJob;
using discovery::DeviceLookupResult;

discovery::DeviceLookupOptions QuickLookup() {
    discovery::DeviceLookupOptions options;
    options.connectEnv.hostAddresses = [] { return std::vector<std::string>{}; };
    options.parallel = 2;
    return options;
}

// A port that takes connections and never greets.
class SilentListener {
public:
    SilentListener() {
        m_socket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_socket, 8);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener() {
        for (int c : m_accepted) {
            close(c);
        }
        close(m_socket);
    }
    // Takes n connections (each then waits for a greeting that never comes).
    bool Accept(size_t n) {
        while (m_accepted.size() < n) {
            pollfd p{m_socket, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(testsupport::kHangGuard.count() * 1000)) != 1) {
                return false;
            }
            m_accepted.push_back(accept(m_socket, nullptr, nullptr));
        }
        return true;
    }
    std::string Device() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_socket = -1;
    uint16_t m_port = 0;
    std::vector<int> m_accepted;
};

TEST(DeviceLookup, EachDeviceGetsOneResultAndTheEndComesOnceAfterTheLast) {
    auto simulator = simtest::StartSimulator(simtest::QuickFleet(2, [](sim::DeviceConfig& d) {
        d.identity.softwareVer = "4.1.2.3";
        if (d.identity.mac.back() == '1') {
            d.identity.password = "changed-on-site";
        }
    }));
    const std::string ok = simulator->Address(0) + ":" + std::to_string(simulator->DataPort(0));
    const std::string refused = simulator->Address(1) + ":" + std::to_string(simulator->DataPort(1));
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, int> codes;
    std::map<std::string, std::string> versions;
    int ends = 0;
    {
        DeviceLookupJob job(
            {ok, refused, "127.0.0.250:9"}, "admin", "739164", QuickLookup(),
            [&](DeviceLookupResult r) {
                std::lock_guard<std::mutex> lock(mutex);
                EXPECT_EQ(codes.count(r.device), 0u) << r.device;
                codes[r.device] = r.code;
                if (r.record) {
                    versions[r.device] = r.record->softwareVer;
                    EXPECT_STREQ(r.record->ip[1], r.record->ip[0]);
                    EXPECT_STREQ(r.record->mac, "");  // not on a directly attached link: unknown
                }
            },
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                EXPECT_EQ(codes.size(), 3u);  // after the last result
                ++ends;
                changed.notify_all();
            });
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, testsupport::kHangGuard, [&] { return ends > 0; }));
    }
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(codes[ok], session::kOk);
    EXPECT_EQ(versions[ok], "4.1.2.3");
    EXPECT_EQ(codes[refused], session::kLoginWrongCredentials);
    EXPECT_EQ(codes["127.0.0.250:9"], session::kLinkFailed);
}

TEST(DeviceLookup, GivingUpEndsTheWaitForASilentDeviceAndReportsNothingMore) {
    SilentListener silent;
    discovery::DeviceLookupOptions options = QuickLookup();
    options.limits.greetingMs = testsupport::kLongWaitMs;  // only the give-up ends it
    std::atomic<int> reports{0};
    std::atomic<int> ends{0};
    auto job = std::make_unique<DeviceLookupJob>(
        std::vector<std::string>{silent.Device(), silent.Device()}, "admin", "739164", options,
        [&](DeviceLookupResult) { ++reports; }, [&] { ++ends; });
    ASSERT_TRUE(silent.Accept(2));  // both workers wait for their greeting
    {
        testsupport::HangGuard guard("giving up a lookup that waits for a greeting");
        job.reset();
    }
    EXPECT_EQ(reports.load(), 0);
    EXPECT_EQ(ends.load(), 0);
}

}  // namespace
