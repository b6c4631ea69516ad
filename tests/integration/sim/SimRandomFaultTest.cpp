// Seeded random faults of the simulator: each ending fault as a program
// sees it, the same seed giving the same faults (device by device, whatever
// the other devices do), no fault at all at rate 0, and the fleet file's
// settings for them.

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "common/session/ProtocolIds.h"
#include "sim/FaultPlan.h"
#include "sim/FleetFile.h"

namespace {

using namespace simtest;

// What a run of exchanges left on one device, for comparing runs.
struct Trace {
    std::vector<std::string> faults;
    std::vector<uint32_t> refusals;
    uint32_t split = 0;
    uint32_t slow = 0;
    bool operator==(const Trace&) const = default;
};

Trace TraceOf(const sim::DeviceRecords& r) {
    Trace t;
    for (const sim::InjectedFault& f : r.injected) {
        t.faults.push_back(std::to_string(f.connection) + ":" + sim::EndingFaultName(f.kind) + "@" +
                           std::to_string(f.exchange) + "/" + sim::ExchangeKindName(f.what) + "/" +
                           std::to_string(f.cutAfter) + "/" + std::to_string(f.refusal));
    }
    for (const sim::LoginEntry& l : r.logins) t.refusals.push_back(l.refusal);
    t.split = r.splitReplies;
    t.slow = r.slowReplies;
    return t;
}

// No stalls here: a stalled login would only make the run wait.
sim::RandomFaults Faults(uint64_t seed, double scale) {
    sim::RandomFaults f;
    f.seed = seed;
    f.reset = 0.3 * scale;
    f.corruptHeader = 0.2 * scale;
    f.refuseLogin = 0.2 * scale;
    f.split = 0.5 * scale;
    f.slow = 0.5 * scale;
    f.slowMaxMs = 5;
    f.span = 2;  // the greeting or the login
    return f;
}

constexpr size_t kConnections = 8;

// Logs in kConnections times, one connection after another, to each given
// device in the given order, and returns every device's trace.
std::vector<Trace> RunExchanges(size_t devices, const sim::RandomFaults& faults, const std::vector<size_t>& order) {
    auto simulator = StartSimulator(QuickFleet(devices, [&](sim::DeviceConfig& d) { d.faults.random = faults; }));
    for (size_t device : order) {
        for (size_t c = 0; c < kConnections; ++c) {
            int error = 0;
            SessionPtr session = OpenSession(*simulator, device, error);
            NET_DEVICE_INFO info;
            if (session) session->Login("admin", "739164", info);
        }
    }
    std::vector<Trace> traces;
    for (size_t i = 0; i < devices; ++i) {
        EXPECT_TRUE(simulator->WaitForRecords(i, [](const sim::DeviceRecords& r) { return r.openSessions == 0; }));
        traces.push_back(TraceOf(simulator->Records(i)));
    }
    return traces;
}

TEST(SimRandomFaults, TheSameSeedGivesTheSameFaultsDeviceByDevice) {
    const std::vector<Trace> first = RunExchanges(3, Faults(7, 1), {0, 1, 2});
    // Other devices in another order change nothing for a device.
    const std::vector<Trace> again = RunExchanges(4, Faults(7, 1), {3, 2, 1, 0});
    ASSERT_EQ(first.size(), 3u);
    for (size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(first[i], again[i]);
        EXPECT_FALSE(first[i].faults.empty());  // 8 connections at 70%: some ended early
    }
    EXPECT_NE(first[0], first[1]);  // devices draw from streams of their own
    const std::vector<Trace> other = RunExchanges(1, Faults(8, 1), {0});
    EXPECT_NE(first[0], other[0]);

    // Rates of 0: no fault, whatever the seed; every login accepted.
    const std::vector<Trace> none = RunExchanges(2, Faults(7, 0), {0, 1});
    for (const Trace& t : none) {
        EXPECT_TRUE(t.faults.empty());
        EXPECT_EQ(t.split + t.slow, 0u);
        EXPECT_EQ(t.refusals, std::vector<uint32_t>(kConnections, 0));
    }
}

// Each ending fault at the greeting (span 1, rate 1), as a raw client sees it.
TEST(SimRandomFaults, EachEndingFaultAsTheProgramSeesIt) {
    struct Row {
        sim::EndingFault kind;
        double sim::RandomFaults::*rate;
    };
    const Row rows[] = {
        {sim::EndingFault::Reset, &sim::RandomFaults::reset},
        {sim::EndingFault::Stall, &sim::RandomFaults::stall},
        {sim::EndingFault::CorruptHeader, &sim::RandomFaults::corruptHeader},
        {sim::EndingFault::RefuseLogin, &sim::RandomFaults::refuseLogin},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::EndingFaultName(row.kind));
        auto simulator = StartSimulator(QuickFleet(1, [&](sim::DeviceConfig& d) {
            d.faults.random.seed = 3;
            d.faults.random.*row.rate = 1;
            d.faults.random.span = 1;
        }));
        RawClient client;
        ASSERT_TRUE(client.Connect(simulator->Address(0), simulator->DataPort(0)));
        ASSERT_TRUE(simulator->WaitForRecords(0, [](const sim::DeviceRecords& r) { return r.connections > 0; }));
        std::vector<uint8_t> greeting;
        switch (row.kind) {
            case sim::EndingFault::Reset:
                EXPECT_FALSE(client.ReadGreeting(greeting));
                EXPECT_TRUE(client.ClosedByPeer());
                break;
            case sim::EndingFault::Stall:
                // Whatever part of the greeting came, nothing more is answered
                // and the connection stays open.
                ASSERT_TRUE(client.SendMessage(proto::CMD_REQUEST_LOGIN, std::vector<uint8_t>(116, 0)));
                EXPECT_TRUE(simulator->WaitForRecords(
                    0, [](const sim::DeviceRecords& r) { return r.ignoredWhileSilent == 1; }));
                EXPECT_TRUE(simulator->Records(0).logins.empty());
                break;
            case sim::EndingFault::CorruptHeader:
                ASSERT_TRUE(client.ReadGreeting(greeting));
                EXPECT_NE(GetLe32(greeting, 12), 3u);  // the protocol version garbled
                break;
            default: {
                SessionPtr session = LoggedInSession(*simulator, 0);
                EXPECT_FALSE(session);
                ASSERT_TRUE(simulator->WaitForRecords(0, [](const sim::DeviceRecords& r) { return !r.logins.empty(); }));
                const uint32_t refusal = simulator->Records(0).logins[0].refusal;
                EXPECT_TRUE(refusal == 2 || refusal == 3 || refusal == 13) << refusal;
                break;
            }
        }
        const sim::DeviceRecords records = simulator->Records(0);
        ASSERT_FALSE(records.injected.empty());
        EXPECT_EQ(records.injected[0].kind, row.kind);
        // The refused login is the session's, on a second connection.
        EXPECT_EQ(records.injected[0].connection, row.kind == sim::EndingFault::RefuseLogin ? 2u : 1u);
        EXPECT_EQ(records.injected[0].what, row.kind == sim::EndingFault::RefuseLogin ? sim::ExchangeKind::Login
                                                                                      : sim::ExchangeKind::Greeting);
    }
}

TEST(SimRandomFaults, ReplyShapesCoverTheReplyAndRepeat) {
    sim::RandomFaults faults = Faults(11, 1);
    faults.span = 50;
    sim::ConnectionFaultPlan a(faults, 99);
    sim::ConnectionFaultPlan b(faults, 99);
    EXPECT_LT(a.EndingExchange(), 50u);
    int split = 0;
    for (uint32_t exchange = 0; exchange < 200; ++exchange) {
        const size_t length = 1 + exchange % 40;
        const sim::ReplyShape x = a.Shape(exchange, length);
        const sim::ReplyShape y = b.Shape(exchange, length);
        EXPECT_EQ(x.pieces, y.pieces);
        EXPECT_EQ(x.delayMs, y.delayMs);
        EXPECT_EQ(std::accumulate(x.pieces.begin(), x.pieces.end(), size_t{0}), length);
        EXPECT_LE(x.delayMs, faults.slowMaxMs);
        EXPECT_EQ(x.ending, exchange == a.EndingExchange() && a.Ending() != sim::EndingFault::None &&
                                a.Ending() != sim::EndingFault::RefuseLogin);
        if (x.ending) {
            EXPECT_LT(x.cutAfter, length);
        }
        split += x.split ? 1 : 0;
    }
    EXPECT_GT(split, 0);
    // Without rates nothing is drawn into the replies.
    sim::ConnectionFaultPlan quiet(Faults(11, 0), 99);
    EXPECT_FALSE(quiet.Active());
    EXPECT_EQ(quiet.Shape(0, 64).pieces, std::vector<size_t>{64});
}

TEST(SimRandomFaults, FleetFileSettings) {
    struct Row {
        const char* random;
        const char* error;  // empty: accepted
    };
    const Row rows[] = {
        {R"({"seed": 5, "reset": 0.2, "stall": 0.1, "corruptHeader": 0.05, "refuseLogin": 0.03,
             "split": 0.5, "slow": 1, "slowMaxMs": 7, "span": 3})", ""},
        {R"({"reset": 0.6, "stall": 0.5})", "add up to more than 1"},
        {R"({"split": 1.5})", "defaults.faults.random.split: expected a number from 0 to 1"},
        {R"({"span": 0})", "defaults.faults.random.span"},
        {R"({"resets": 0.1})", "defaults.faults.random.resets: unknown setting"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.random);
        const nlohmann::json file = nlohmann::json::parse(std::string(R"({"count": 2, "defaults": {"faults": {"random": )") +
                                                          row.random + "}}}");
        sim::FleetRequest request;
        request.file = &file;
        std::vector<sim::DeviceConfig> devices;
        std::string error;
        const bool ok = sim::BuildFleet(request, devices, error);
        if (*row.error == '\0') {
            ASSERT_TRUE(ok) << error;
            const sim::RandomFaults& f = devices[1].faults.random;
            EXPECT_EQ(f.seed, 5u);
            EXPECT_DOUBLE_EQ(f.reset, 0.2);
            EXPECT_DOUBLE_EQ(f.corruptHeader, 0.05);
            EXPECT_DOUBLE_EQ(f.refuseLogin, 0.03);
            EXPECT_DOUBLE_EQ(f.slow, 1);
            EXPECT_EQ(f.slowMaxMs, 7u);
            EXPECT_EQ(f.span, 3u);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
        }
    }
    EXPECT_NE(std::string(sim::FleetSchemaText()).find("corruptHeader"), std::string::npos);
}

}  // namespace
