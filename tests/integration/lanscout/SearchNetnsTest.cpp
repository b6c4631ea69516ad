// The search and the responder over real sockets, each test in its own
// private network namespace: loopback multicast, a fleet of simulated
// devices, changes, departures, returns and the restriction to interfaces.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <string>
#include <vector>

#include "lanscout/Lanscout.h"
#include "lanscout/Responder.h"
#include "lanscout/Search.h"
#include "tests/integration/lanscout/SearchRecorder.h"
#include "tests/integration/platform/PrivateNetns.h"
#include "tests/support/HangGuard.h"

namespace {

using lanscouttest::DeviceAnswer;
using lanscouttest::DeviceMac;
using lanscouttest::SearchRecorder;
using lanscouttest::WaitUntil;

class SearchNetns : public nstest::PrivateNetnsTest {
protected:
    lanscout::Search::ReportFn RecordInto(SearchRecorder& recorder) {
        return [&recorder](const char* mac, int kind, const char* xml) {
            recorder.Add(mac, kind, xml);
        };
    }

    // Short rounds; tests that count gone notices of present devices keep at
    // least 600 ms of grace (rounds x interval) for a loaded machine.
    static lanscout::SearchOptions Fast(uint32_t intervalMs, uint32_t missedRounds) {
        lanscout::SearchOptions options;
        options.probeIntervalMs = intervalMs;
        options.missedRoundsForGone = missedRounds;
        return options;
    }

    static lanscout::ResponderOptions On(std::vector<std::string> interfaces) {
        lanscout::ResponderOptions options;
        options.interfaces = std::move(interfaces);
        options.rescanMs = 50;
        return options;
    }
};

TEST_F(SearchNetns, AnsweringAgainDoesNotRepeatAndAChangeIsReportedOnce) {
    lanscout::Responder responder;
    for (int n = 1; n <= 5; ++n) {
        ASSERT_EQ(responder.Join(DeviceMac(n), DeviceAnswer(n)), LANSCOUT_OK);
    }
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    SearchRecorder recorder;
    // A long gone rule: this test is about answers, not departures.
    lanscout::Search search(RecordInto(recorder), Fast(100, 1000));
    ASSERT_EQ(search.Start(), LANSCOUT_OK);

    ASSERT_TRUE(WaitUntil([&] { return search.AnswersReceived() >= 5 * 4; }))
        << "answers: " << search.AnswersReceived();
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(recorder.Count(DeviceMac(n), LANSCOUT_KIND_FOUND), 1u) << n;
    }
    EXPECT_EQ(recorder.CountKind(LANSCOUT_KIND_CHANGED), 0u);
    EXPECT_EQ(recorder.CountKind(LANSCOUT_KIND_GONE), 0u);

    ASSERT_EQ(responder.Join(DeviceMac(3), DeviceAnswer(3, "3.4.3")), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitForCount(DeviceMac(3), LANSCOUT_KIND_CHANGED, 1));
    const uint64_t answers = search.AnswersReceived();
    ASSERT_TRUE(WaitUntil([&] { return search.AnswersReceived() >= answers + 5 * 3; }));
    search.Stop();

    EXPECT_EQ(recorder.Count(DeviceMac(3), LANSCOUT_KIND_CHANGED), 1u);
    EXPECT_EQ(recorder.CountKind(LANSCOUT_KIND_CHANGED), 1u);
    EXPECT_EQ(recorder.CountKind(LANSCOUT_KIND_FOUND), 5u);
    for (const auto& report : recorder.Snapshot()) {
        if (report.kind == LANSCOUT_KIND_CHANGED) {
            EXPECT_EQ(report.xml, DeviceAnswer(3, "3.4.3"));
        }
    }
}

TEST_F(SearchNetns, ADeviceThatLeavesIsGoneOnceAndFoundAgainWhenBack) {
    lanscout::Responder responder;
    for (int n = 1; n <= 3; ++n) {
        ASSERT_EQ(responder.Join(DeviceMac(n), DeviceAnswer(n)), LANSCOUT_OK);
    }
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    SearchRecorder recorder;
    lanscout::Search search(RecordInto(recorder), Fast(200, 4));
    ASSERT_EQ(search.Start(), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitFor([](const auto& r) { return r.size() >= 3; }));

    ASSERT_TRUE(responder.Leave(DeviceMac(2)));
    ASSERT_TRUE(recorder.WaitForCount(DeviceMac(2), LANSCOUT_KIND_GONE, 1));
    const uint64_t goneRound = search.Rounds();
    // Several more rounds without the device: the notice is not repeated.
    ASSERT_TRUE(WaitUntil([&] { return search.Rounds() >= goneRound + 5; }));
    EXPECT_EQ(recorder.Count(DeviceMac(2), LANSCOUT_KIND_GONE), 1u);
    EXPECT_EQ(recorder.Count(DeviceMac(1), LANSCOUT_KIND_GONE), 0u);
    EXPECT_EQ(recorder.Count(DeviceMac(3), LANSCOUT_KIND_GONE), 0u);
    for (const auto& report : recorder.Snapshot()) {
        if (report.kind == LANSCOUT_KIND_GONE) {
            EXPECT_EQ(report.xml, DeviceAnswer(2));  // the last answer goes with the notice
        }
    }

    ASSERT_EQ(responder.Join(DeviceMac(2), DeviceAnswer(2)), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitForCount(DeviceMac(2), LANSCOUT_KIND_FOUND, 2));
    search.Stop();
    EXPECT_EQ(recorder.Count(DeviceMac(2), LANSCOUT_KIND_GONE), 1u);
    EXPECT_EQ(recorder.Count(DeviceMac(1), LANSCOUT_KIND_FOUND), 1u);
}

TEST_F(SearchNetns, EveryDeviceGoesWhenTheResponderStops) {
    auto responder = std::make_unique<lanscout::Responder>();
    for (int n = 1; n <= 4; ++n) {
        ASSERT_EQ(responder->Join(DeviceMac(n), DeviceAnswer(n)), LANSCOUT_OK);
    }
    ASSERT_EQ(responder->Start(), LANSCOUT_OK);
    SearchRecorder recorder;
    lanscout::Search search(RecordInto(recorder), Fast(150, 4));
    ASSERT_EQ(search.Start(), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitFor([](const auto& r) { return r.size() >= 4; }));
    responder.reset();
    ASSERT_TRUE(recorder.WaitFor([](const auto& r) {
        size_t gone = 0;
        for (const auto& x : r) {
            gone += x.kind == LANSCOUT_KIND_GONE ? 1 : 0;
        }
        return gone >= 4;
    }));
    search.Stop();
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(recorder.Count(DeviceMac(n), LANSCOUT_KIND_GONE), 1u) << n;
    }
}

TEST_F(SearchNetns, RestrictionToAnInterfaceHoldsAndCanChangeWhileRunning) {
    ASSERT_TRUE(nstest::CreateTestInterface("d0"));
    ASSERT_EQ(nstest::Shell("ip addr add 10.77.0.1/24 dev d0"), 0);
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d0", true));

    lanscout::Responder onLoopback(On({"lo"}));
    lanscout::Responder onD0(On({"d0"}));
    ASSERT_EQ(onLoopback.Join("LO-1", DeviceAnswer(1)), LANSCOUT_OK);
    ASSERT_EQ(onD0.Join("D0-1", DeviceAnswer(2)), LANSCOUT_OK);
    ASSERT_EQ(onLoopback.Start(), LANSCOUT_OK);
    ASSERT_EQ(onD0.Start(), LANSCOUT_OK);

    SearchRecorder recorder;
    lanscout::SearchOptions options = Fast(100, 3);
    options.interfaces = {"d0"};
    lanscout::Search search(RecordInto(recorder), options);
    ASSERT_EQ(search.Start(), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitForCount("D0-1", LANSCOUT_KIND_FOUND, 1));
    ASSERT_TRUE(WaitUntil([&] { return search.AnswersReceived() >= 4; }));
    EXPECT_EQ(recorder.Count("LO-1", LANSCOUT_KIND_FOUND), 0u);
    EXPECT_EQ(onLoopback.ProbesReceived(), 0u);  // nothing went out on loopback

    // Switch to loopback: its device is found, the one on d0 goes.
    search.SetInterfaces({"lo"});
    ASSERT_TRUE(recorder.WaitForCount("LO-1", LANSCOUT_KIND_FOUND, 1));
    ASSERT_TRUE(recorder.WaitForCount("D0-1", LANSCOUT_KIND_GONE, 1));
    const uint64_t probesOnD0 = onD0.ProbesReceived();
    const uint64_t round = search.Rounds();
    ASSERT_TRUE(WaitUntil([&] { return search.Rounds() >= round + 3; }));
    search.Stop();
    EXPECT_EQ(onD0.ProbesReceived(), probesOnD0);
}

TEST_F(SearchNetns, AnInterfaceThatAppearsLaterIsSearchedAndAnswered) {
    lanscout::Responder responder(On({}));
    ASSERT_EQ(responder.Join("LATE-1", DeviceAnswer(7)), LANSCOUT_OK);
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    SearchRecorder recorder;
    lanscout::SearchOptions options = Fast(100, 3);
    options.interfaces = {"d1"};  // does not exist yet
    lanscout::Search search(RecordInto(recorder), options);
    ASSERT_EQ(search.Start(), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return search.Rounds() >= 3; }));
    EXPECT_TRUE(recorder.Snapshot().empty());

    ASSERT_TRUE(nstest::CreateTestInterface("d1"));
    ASSERT_EQ(nstest::Shell("ip addr add 10.78.0.1/24 dev d1"), 0);
    ASSERT_TRUE(nstest::SetTestInterfaceUp("d1", true));
    ASSERT_TRUE(recorder.WaitForCount("LATE-1", LANSCOUT_KIND_FOUND, 1));
    search.Stop();
}

TEST_F(SearchNetns, MalformedDatagramsAreDroppedAndTheSearchGoesOn) {
    lanscout::Responder responder;
    ASSERT_EQ(responder.Join(DeviceMac(1), DeviceAnswer(1)), LANSCOUT_OK);
    SearchRecorder recorder;
    lanscout::Search search(RecordInto(recorder), Fast(100, 1000));
    ASSERT_EQ(search.Start(), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return search.Rounds() >= 1; }));

    lanscout::MulticastSocket sender;
    ASSERT_EQ(sender.Open(0, false), 0);
    lanscout::SearchInterface lo{"lo", if_nametoindex("lo"), inet_addr("127.0.0.1")};
    uint32_t group = 0;
    ASSERT_EQ(inet_pton(AF_INET, lanscout::kSearchGroup, &group), 1);
    lanscout::Answer valid;
    valid.mac = "EVIL";
    valid.xml = "<multicastSearchResult/>";
    std::vector<uint8_t> truncated;
    ASSERT_TRUE(lanscout::EncodeAnswer(valid, truncated));
    truncated.pop_back();
    std::vector<uint8_t> oversized(lanscout::kMaxDatagram + 100, 'x');
    ASSERT_TRUE(lanscout::EncodeAnswer(valid, oversized));
    oversized.resize(lanscout::kMaxDatagram + 100, 'x');
    const std::vector<std::vector<uint8_t>> bad = {
        {}, {'L', 'S', 'C', 'T'}, truncated, oversized, lanscout::EncodeProbe({})};
    for (const auto& datagram : bad) {
        ASSERT_EQ(sender.SendTo(group, lanscout::kAnswerPort, lo, 1, datagram), 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return search.DatagramsDropped() >= bad.size(); }))
        << search.DatagramsDropped();

    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    ASSERT_TRUE(recorder.WaitForCount(DeviceMac(1), LANSCOUT_KIND_FOUND, 1));
    search.Stop();
    EXPECT_EQ(recorder.Count("EVIL", LANSCOUT_KIND_FOUND), 0u);
    EXPECT_EQ(recorder.Snapshot().size(), 1u);
}

TEST_F(SearchNetns, StopIsPromptAndWaitsForTheReportInProgress) {
    lanscout::Responder responder;
    ASSERT_EQ(responder.Join(DeviceMac(1), DeviceAnswer(1)), LANSCOUT_OK);
    ASSERT_EQ(responder.Start(), LANSCOUT_OK);
    std::atomic<bool> inReport{false};
    std::atomic<int> reports{0};
    // A long round: stopping must not wait for it.
    lanscout::Search search(
        [&](const char*, int, const char*) {
            inReport = true;
            reports.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            inReport = false;
        },
        Fast(60000, 3));
    ASSERT_EQ(search.Start(), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return inReport.load(); }));
    search.Stop();
    EXPECT_FALSE(inReport.load());
    EXPECT_EQ(reports.load(), 1);

    // Idle in its wait for the next round, a day away: stopping is prompt
    // all the same (waiting for the round would hang).
    lanscout::Search idle([](const char*, int, const char*) {}, Fast(testsupport::kLongWaitMs, 3));
    ASSERT_EQ(idle.Start(), LANSCOUT_OK);
    ASSERT_TRUE(WaitUntil([&] { return idle.Rounds() >= 1; }));
    EXPECT_TRUE(testsupport::ReturnsWithoutHanging("Stop between rounds", [&] { idle.Stop(); }));
}

}  // namespace
