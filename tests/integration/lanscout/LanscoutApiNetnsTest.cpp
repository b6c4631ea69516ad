// The library's C calls as the programs make them (LANSCOUT_Initial with
// 32, LANSCOUT_StartAuto with 1 or 5, LANSCOUT_Quit), each test in its own
// private network namespace, against simulated devices on loopback.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "lanscout/Lanscout.h"
#include "lanscout/Responder.h"
#include "lanscout/Search.h"
#include "lanscout/SearchProtocol.h"
#include "tests/integration/lanscout/SearchRecorder.h"
#include "tests/integration/platform/PrivateNetns.h"
#include "tests/support/HangGuard.h"

namespace {

using lanscouttest::DeviceAnswer;
using lanscouttest::DeviceMac;
using lanscouttest::SearchRecorder;
using lanscouttest::WaitUntil;

void RecordCallback(const char* mac, int kind, const char* xml, void* context) {
    static_cast<SearchRecorder*>(context)->Add(mac, kind, xml);
}

class LanscoutApiNetns : public nstest::PrivateNetnsTest {
protected:
    void TearDown() override {
        LANSCOUT_Quit();
        LANSCOUT_SetInterfaces(nullptr, 0);
    }
};

TEST_F(LanscoutApiNetns, FindsEveryDeviceOfAFleetOverLoopbackMulticast) {
    constexpr int kFleet = 20;
    lanscout::Responder responder;
    for (int n = 1; n <= kFleet; ++n) {
        ASSERT_EQ(responder.Join(DeviceMac(n), DeviceAnswer(n)), LANSCOUT_OK);
    }
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);

    SearchRecorder recorder;
    ASSERT_EQ(LANSCOUT_Initial(RecordCallback, &recorder, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    EXPECT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_ERR_ALREADY_STARTED);
    ASSERT_TRUE(recorder.WaitFor([](const auto& r) { return r.size() >= kFleet; }));
    // Let at least two more rounds be answered before looking for repeats.
    const uint64_t answers = responder.AnswersSent();
    ASSERT_TRUE(WaitUntil([&] { return responder.AnswersSent() >= answers + 2 * kFleet; }));
    ASSERT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);

    std::set<std::string> found;
    for (const auto& report : recorder.Snapshot()) {
        EXPECT_EQ(report.kind, LANSCOUT_KIND_FOUND) << report.mac;
        EXPECT_LE(report.mac.size(), 19u);
        EXPECT_NE(report.thread, std::this_thread::get_id());  // the library's own thread
        EXPECT_TRUE(found.insert(report.mac).second) << "reported twice: " << report.mac;
    }
    ASSERT_EQ(found.size(), static_cast<size_t>(kFleet));
    for (int n = 1; n <= kFleet; ++n) {
        EXPECT_EQ(found.count(DeviceMac(n)), 1u) << n;
    }
    for (const auto& report : recorder.Snapshot()) {
        const int n = std::stoi(report.mac.substr(12, 2), nullptr, 16) * 256 +
                      std::stoi(report.mac.substr(15, 2), nullptr, 16);
        EXPECT_EQ(report.xml, DeviceAnswer(n));
    }
}

TEST_F(LanscoutApiNetns, QuitIsPromptWaitsForTheCallbackAndNothingFollows) {
    lanscout::Responder responder;
    for (int n = 1; n <= 3; ++n) {
        ASSERT_EQ(responder.Join(DeviceMac(n), DeviceAnswer(n)), LANSCOUT_OK);
    }
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    // Another searcher keeps the devices answering, so a search that failed
    // to stop would still get answers to report.
    lanscout::SearchOptions fast;
    fast.probeIntervalMs = 50;
    lanscout::Search other([](const char*, int, const char*) {}, fast);
    ASSERT_EQ(other.Start(), LANSCOUT_OK);

    struct Context {
        std::atomic<bool> inCallback{false};
        std::atomic<int> calls{0};
    } context;
    auto slowCallback = [](const char*, int, const char*, void* raw) {
        auto* c = static_cast<Context*>(raw);
        c->inCallback = true;
        c->calls.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        c->inCallback = false;
    };
    ASSERT_EQ(LANSCOUT_Initial(slowCallback, &context, 32), LANSCOUT_OK);
    // An hour's round (the longest the library takes): a Quit that waited
    // for the round to end would hang.
    ASSERT_EQ(LANSCOUT_StartAuto(3600), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return context.inCallback.load(); }));

    int quit = -1;
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("LANSCOUT_Quit during a round",
                                                   [&] { quit = LANSCOUT_Quit(); }));
    ASSERT_EQ(quit, LANSCOUT_OK);
    EXPECT_FALSE(context.inCallback.load());
    const int calls = context.calls.load();
    const uint64_t answers = responder.AnswersSent();
    ASSERT_TRUE(WaitUntil([&] { return responder.AnswersSent() >= answers + 2 * 3; }));
    EXPECT_EQ(context.calls.load(), calls);
    other.Stop();
}

TEST_F(LanscoutApiNetns, QuitWhileWaitingForTheNextRoundIsPrompt) {
    lanscout::Responder responder;
    ASSERT_EQ(responder.Join(DeviceMac(1), DeviceAnswer(1)), LANSCOUT_OK);
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    SearchRecorder recorder;
    ASSERT_EQ(LANSCOUT_Initial(RecordCallback, &recorder, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(3600), LANSCOUT_OK);
    // The first round has been answered; the next is an hour away.
    ASSERT_TRUE(recorder.WaitForCount(DeviceMac(1), LANSCOUT_KIND_FOUND, 1));
    int quit = -1;
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("LANSCOUT_Quit between rounds",
                                                   [&] { quit = LANSCOUT_Quit(); }));
    EXPECT_EQ(quit, LANSCOUT_OK);
    responder.Stop();
}

struct QuitInside {
    std::atomic<int> calls{0};
    std::atomic<int> quitResult{1};
};

void QuitFromCallback(const char*, int, const char*, void* raw) {
    auto* c = static_cast<QuitInside*>(raw);
    c->calls.fetch_add(1);
    c->quitResult = LANSCOUT_Quit();
}

TEST_F(LanscoutApiNetns, QuitFromTheCallbackStopsWithoutWaitingForItself) {
    lanscout::Responder responder;
    for (int n = 1; n <= 5; ++n) {
        ASSERT_EQ(responder.Join(DeviceMac(n), DeviceAnswer(n)), LANSCOUT_OK);
    }
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    QuitInside context;
    ASSERT_EQ(LANSCOUT_Initial(QuitFromCallback, &context, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return context.quitResult.load() != 1; }));
    EXPECT_EQ(context.quitResult.load(), LANSCOUT_ERR_IN_CALLBACK);
    // Two more rounds of answers: the other four devices are never reported.
    const uint64_t answers = responder.AnswersSent();
    lanscout::SearchOptions fast;
    fast.probeIntervalMs = 50;
    lanscout::Search other([](const char*, int, const char*) {}, fast);
    ASSERT_EQ(other.Start(), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return responder.AnswersSent() >= answers + 2 * 5; }));
    other.Stop();
    EXPECT_EQ(context.calls.load(), 1);
    // The library is usable again.
    SearchRecorder recorder;
    ASSERT_EQ(LANSCOUT_Initial(RecordCallback, &recorder, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitFor([](const auto& r) { return r.size() >= 5; }));
    EXPECT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);
}

TEST_F(LanscoutApiNetns, SetInterfacesRestrictsTheSearch) {
    ASSERT_TRUE(nstest::CreateTestInterface("d0"));
    ASSERT_EQ(nstest::Shell("ip addr add 10.77.0.1/24 dev d0"), 0);
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));
    lanscout::ResponderOptions onD0;
    onD0.interfaces = {"d0"};
    lanscout::ResponderOptions onLo;
    onLo.interfaces = {"lo"};
    lanscout::Responder d0(onD0);
    lanscout::Responder lo(onLo);
    ASSERT_EQ(d0.Join("D0", DeviceAnswer(1)), LANSCOUT_OK);
    ASSERT_EQ(lo.Join("LO", DeviceAnswer(2)), LANSCOUT_OK);
    ASSERT_EQ(d0.Start(), LANSCOUT_OK);
    ASSERT_EQ(lo.Start(), LANSCOUT_OK);

    const char* names[] = {"lo"};
    ASSERT_EQ(LANSCOUT_SetInterfaces(names, 1), LANSCOUT_OK);
    SearchRecorder recorder;
    ASSERT_EQ(LANSCOUT_Initial(RecordCallback, &recorder, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitForCount("LO", LANSCOUT_KIND_FOUND, 1));
    ASSERT_TRUE(WaitUntil([&] { return lo.ProbesReceived() >= 2; }));
    ASSERT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);
    EXPECT_EQ(recorder.Count("D0", LANSCOUT_KIND_FOUND), 0u);
    EXPECT_EQ(d0.ProbesReceived(), 0u);
}

// Receives one datagram on port from the group on loopback and returns the
// IP TTL it arrived with (-1 on time-out).
int ReceiveTtl(uint16_t port, std::vector<uint8_t>& datagram) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ip_mreqn request{};
    inet_pton(AF_INET, lanscout::kSearchGroup, &request.imr_multiaddr);
    request.imr_ifindex = static_cast<int>(if_nametoindex("lo"));
    int ttl = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
        setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) == 1) {
            datagram.assign(lanscout::kMaxDatagram, 0);
            iovec io{datagram.data(), datagram.size()};
            alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))];
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t size = recvmsg(fd, &message, 0);
            if (size >= 0) {
                datagram.resize(static_cast<size_t>(size));
                for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                        std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
                    }
                }
            }
        }
    }
    close(fd);
    return ttl;
}

TEST_F(LanscoutApiNetns, ProbesAndAnswersCarryTheHopLimitGivenAtInitial) {
    lanscout::Responder responder;
    ASSERT_EQ(responder.Join(DeviceMac(1), DeviceAnswer(1)), LANSCOUT_OK);
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    std::vector<uint8_t> probe;
    std::vector<uint8_t> answer;
    int probeTtl = -1;
    int answerTtl = -1;
    std::thread probeListener([&] { probeTtl = ReceiveTtl(lanscout::kProbePort, probe); });
    std::thread answerListener([&] { answerTtl = ReceiveTtl(lanscout::kAnswerPort, answer); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // listeners joined

    SearchRecorder recorder;
    ASSERT_EQ(LANSCOUT_Initial(RecordCallback, &recorder, 32), LANSCOUT_OK);
    ASSERT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_OK);
    probeListener.join();
    answerListener.join();
    ASSERT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);

    EXPECT_EQ(probeTtl, 32);
    EXPECT_EQ(answerTtl, 32);
    lanscout::Probe decoded;
    ASSERT_EQ(lanscout::DecodeProbe(probe.data(), probe.size(), decoded),
              lanscout::DecodeResult::kOk);
    EXPECT_EQ(decoded.hopLimit, 32);
    EXPECT_EQ(decoded.answerSpreadMs, 250);  // a quarter of the 1-second round
    lanscout::Answer decodedAnswer;
    ASSERT_EQ(lanscout::DecodeAnswer(answer.data(), answer.size(), decodedAnswer),
              lanscout::DecodeResult::kOk);
    EXPECT_EQ(decodedAnswer.mac, DeviceMac(1));
    EXPECT_EQ(decodedAnswer.searchId, decoded.searchId);
}

}  // namespace
